// The 32-bit binaries that ship must load on every release from Windows 95 and NT 4.0 to
// Server 2003. Wine exports every function under every release, so no run here can show a
// missing import: the import directories of the built files are read instead, against the
// checked-in table tests/imports/shipped_imports.txt. Files only are read, so this runs in
// any test build, 32- or 64-bit.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/pe_image.h"
#include "support/test_support.h"

namespace
{

std::string Upper(std::string s)
{
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

// ---------------------------------------------------------------------------------------------
// The table.
// ---------------------------------------------------------------------------------------------
struct Row
{
    std::string s9x;   // 95, 98, Me or -
    std::string sNt;   // NT4, 2000, XP, 2003 or -
    std::string sOn9x; // stub, real or - (empty when not given)
    std::string sNote;
    int iLine;
};

struct ImportTable
{
    std::set<std::string> dlls;                            // upper case
    std::map<std::pair<std::string, std::string>, Row> rows;  // (DLL upper case, function)
    std::vector<std::string> problems;                     // "line N: ..."
};

const char* const k9xReleases[] = {"95", "98", "Me", "-"};
const char* const kNtReleases[] = {"NT4", "2000", "XP", "2003", "-"};

template <size_t N>
bool OneOf(const std::string& s, const char* const (&values)[N])
{
    for (const char* pszValue : values)
    {
        if (s == pszValue) return true;
    }
    return false;
}

// A W function as the system names them: a final W after a lower-case letter (CreateFileW, not
// ShowWindow or a name that merely ends in an upper-case word).
bool IsWideFunction(const std::string& sName)
{
    return sName.size() > 2 && sName.back() == 'W' && std::islower(static_cast<unsigned char>(sName[sName.size() - 2]));
}

ImportTable ParseTable(std::istream& in)
{
    ImportTable table;
    std::string sLine;
    for (int iLine = 1; std::getline(in, sLine); ++iLine)
    {
        if (!sLine.empty() && sLine.back() == '\r') sLine.pop_back();
        std::istringstream fields(sLine);
        std::string sFirst;
        if (!(fields >> sFirst) || sFirst[0] == '#') continue;
        const std::string sWhere = "line " + std::to_string(iLine) + ": ";
        if (sFirst == "dll")
        {
            std::string sDll;
            if (!(fields >> sDll)) table.problems.push_back(sWhere + "dll without a name");
            table.dlls.insert(Upper(sDll));
            continue;
        }
        Row row;
        row.iLine = iLine;
        std::string sFunction;
        if (!(fields >> sFunction >> row.s9x >> row.sNt))
        {
            table.problems.push_back(sWhere + "fewer than four fields");
            continue;
        }
        fields >> row.sOn9x;
        std::getline(fields >> std::ws, row.sNote);
        if (!OneOf(row.s9x, k9xReleases)) table.problems.push_back(sWhere + "unknown 9x release " + row.s9x);
        if (!OneOf(row.sNt, kNtReleases)) table.problems.push_back(sWhere + "unknown NT release " + row.sNt);
        if (!row.sOn9x.empty() && row.sOn9x != "stub" && row.sOn9x != "real" && row.sOn9x != "-")
            table.problems.push_back(sWhere + "on-9x field is neither stub, real nor -: " + row.sOn9x);
        if (IsWideFunction(sFunction) && row.s9x != "-" && row.sOn9x != "stub" && row.sOn9x != "real")
            table.problems.push_back(sWhere + sFunction + " is a W function: say whether Windows 9x stubs it");
        if ((row.sOn9x == "stub" || row.sOn9x == "real") && row.s9x == "-")
            table.problems.push_back(sWhere + sFunction + " is not on Windows 9x: its on-9x field must be -");
        if (row.sOn9x == "stub" && row.s9x != "-" && row.sNote.empty())
            table.problems.push_back(sWhere + sFunction + " is a stub on Windows 9x: say why its result is not needed there");
        const auto key = std::make_pair(Upper(sFirst), sFunction);
        if (table.rows.count(key)) table.problems.push_back(sWhere + sFunction + " listed twice");
        table.rows[key] = row;
    }
    return table;
}

ImportTable LoadTable()
{
    std::ifstream in(vxtest::Env("VX_SOURCE_DIR") + "/tests/imports/shipped_imports.txt");
    EXPECT_TRUE(in.good()) << "cannot read tests/imports/shipped_imports.txt";
    return ParseTable(in);
}

// The problems an import has: empty when every target release loads it.
std::vector<std::string> Judge(const ImportTable& table, const vxtest::PeImage::Import& import)
{
    const std::string sWhat = import.sDll + "!" + (import.sName.empty() ? "#" + std::to_string(import.wOrdinal) : import.sName);
    std::vector<std::string> problems;
    if (!table.dlls.count(Upper(import.sDll)))
        problems.push_back(sWhat + ": " + import.sDll + " is not a system DLL of every target release");
    if (import.sName.empty())
    {
        problems.push_back(sWhat + ": imported by ordinal, which differs between releases");
        return problems;
    }
    const auto found = table.rows.find(std::make_pair(Upper(import.sDll), import.sName));
    if (found == table.rows.end())
    {
        problems.push_back(sWhat + ": not in the import table");
        return problems;
    }
    const Row& row = found->second;
    if (row.s9x != "95") problems.push_back(sWhat + ": Windows 95 lacks it (first on 9x: " + row.s9x + ")");
    if (row.sNt != "NT4") problems.push_back(sWhat + ": Windows NT 4.0 lacks it (first on NT: " + row.sNt + ")");
    return problems;
}

// ---------------------------------------------------------------------------------------------
// The shipped files.
// ---------------------------------------------------------------------------------------------
struct Shipped
{
    std::string sPath;  // below the shipped folder
    bool fExe;
    bool fGui;
};

// The PDI, the DLL and every tool shipped beside them (console programs in tools/<name>/).
std::vector<Shipped> ShippedFiles()
{
    std::vector<Shipped> files = {{"vxfpdi14.exe", true, true}, {"vxinfra14.dll", false, false}};
    std::istringstream tools(vxtest::Env("VX_SHIPPED_TOOLS"));
    std::string sTool;
    while (std::getline(tools, sTool, ','))
    {
        if (!sTool.empty()) files.push_back({"tools/" + sTool + "/" + sTool + ".exe", true, false});
    }
    return files;
}

std::string ShippedPath(const std::string& sPath)
{
    return vxtest::WinPathFromUnix(vxtest::Env("VX_SHIPPED_I686_DIR") + "/" + sPath);
}

bool LoadImage(const std::string& sName, vxtest::PeImage* pImage)
{
    std::string sBytes, sError;
    if (!vxtest::ReadFileBytes(ShippedPath(sName), &sBytes))
    {
        ADD_FAILURE() << "cannot read " << ShippedPath(sName);
        return false;
    }
    if (!pImage->Parse(sBytes, &sError))
    {
        ADD_FAILURE() << sName << ": " << sError;
        return false;
    }
    return true;
}

TEST(ImportTable, EveryRowIsWellFormed)
{
    const ImportTable table = LoadTable();
    EXPECT_GT(table.rows.size(), 100u);
    EXPECT_EQ(6u, table.dlls.size());
    for (const std::string& sProblem : table.problems) ADD_FAILURE() << sProblem;
}

// The rules the table states, on rows that break them one at a time.
TEST(ImportTable, RefusesRowsThatBreakItsRules)
{
    const struct
    {
        const char* pszRow;
        const char* pszProblem;
    } kCases[] = {
        {"KERNEL32.DLL CreateFileA 95", "fewer than four fields"},
        {"KERNEL32.DLL CreateFileA 96 NT4", "unknown 9x release 96"},
        {"KERNEL32.DLL CreateFileA 95 NT5", "unknown NT release NT5"},
        {"KERNEL32.DLL CreateFileW 95 NT4", "CreateFileW is a W function: say whether Windows 9x stubs it"},
        {"KERNEL32.DLL CreateFileW 95 NT4 stub", "CreateFileW is a stub on Windows 9x: say why"},
        {"KERNEL32.DLL CreateFileA 95 NT4 maybe", "on-9x field is neither stub, real nor -: maybe"},
        {"KERNEL32.DLL GetModuleHandleExW - XP stub", "GetModuleHandleExW is not on Windows 9x: its on-9x field must be -"},
        {"dll", "dll without a name"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        std::istringstream in(kCases[i].pszRow);
        const ImportTable table = ParseTable(in);
        ASSERT_EQ(1u, table.problems.size()) << i << ": " << kCases[i].pszRow;
        EXPECT_NE(std::string::npos, table.problems[0].find(kCases[i].pszProblem)) << i << ": " << table.problems[0];
    }
    std::istringstream good("KERNEL32.DLL MessageBoxW 95 NT4 real\nKERNEL32.DLL LoadLibraryW 95 NT4 stub a reason\n");
    EXPECT_TRUE(ParseTable(good).problems.empty());
}

// What the test is for: an import that a target release lacks fails, naming function and release.
TEST(ImportTable, JudgesImportsAgainstEveryTargetRelease)
{
    const ImportTable table = LoadTable();
    const struct
    {
        vxtest::PeImage::Import import;
        const char* pszProblem;  // NULL: loads everywhere
    } kCases[] = {
        {{"KERNEL32.dll", "CreateFileA", 0}, NULL},
        {{"msvcrt.dll", "malloc", 0}, NULL},
        {{"WINSPOOL.DRV", "GetDefaultPrinterA", 0}, "WINSPOOL.DRV!GetDefaultPrinterA: Windows 95 lacks it"},
        {{"WINSPOOL.DRV", "SetDefaultPrinterA", 0}, "Windows NT 4.0 lacks it (first on NT: 2000)"},
        {{"KERNEL32.dll", "GetTickCount64", 0}, "Windows NT 4.0 lacks it (first on NT: -)"},
        {{"KERNEL32.dll", "TryEnterCriticalSection", 0}, "Windows 95 lacks it (first on 9x: -)"},
        {{"KERNEL32.dll", "IsDebuggerPresent", 0}, "Windows 95 lacks it (first on 9x: 98)"},
        {{"KERNEL32.dll", "CreateSemaphoreW", 0}, "KERNEL32.dll!CreateSemaphoreW: not in the import table"},
        {{"KERNEL32.dll", "NoSuchFunction", 0}, "KERNEL32.dll!NoSuchFunction: not in the import table"},
        {{"libwinpthread-1.dll", "pthread_create", 0}, "is not a system DLL of every target release"},
        {{"KERNEL32.dll", "", 17}, "KERNEL32.dll!#17: imported by ordinal"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const std::vector<std::string> problems = Judge(table, kCases[i].import);
        if (!kCases[i].pszProblem)
        {
            EXPECT_TRUE(problems.empty()) << i << ": " << (problems.empty() ? "" : problems[0]);
            continue;
        }
        bool fFound = false;
        for (const std::string& sProblem : problems) fFound = fFound || sProblem.find(kCases[i].pszProblem) != std::string::npos;
        EXPECT_TRUE(fFound) << i << ": expected \"" << kCases[i].pszProblem << "\", got " << problems.size() << " problem(s)"
                            << (problems.empty() ? "" : ": " + problems[0]);
    }
}

TEST(ShippedImports, EveryImportLoadsOnEveryTargetRelease)
{
    const ImportTable table = LoadTable();
    for (const Shipped& shipped : ShippedFiles())
    {
        vxtest::PeImage image;
        ASSERT_TRUE(LoadImage(shipped.sPath, &image));
        std::vector<vxtest::PeImage::Import> imports;
        std::string sError;
        ASSERT_TRUE(image.ReadImports(&imports, &sError)) << shipped.sPath << ": " << sError;
        // The reader must have seen the imports the program is known to make, or an empty
        // list would pass.
        std::set<std::string> dlls;
        for (const auto& import : imports) dlls.insert(Upper(import.sDll));
        for (const char* pszDll : {"KERNEL32.DLL", "ADVAPI32.DLL", "WINSPOOL.DRV", "USER32.DLL", "MSVCRT.DLL"})
        {
            const bool fEveryOneNeedsIt = std::string(pszDll) == "KERNEL32.DLL" || std::string(pszDll) == "MSVCRT.DLL";
            if (fEveryOneNeedsIt || shipped.sPath == "vxfpdi14.exe")
            {
                EXPECT_TRUE(dlls.count(pszDll)) << shipped.sPath << " imports nothing of " << pszDll;
            }
        }
        for (const auto& import : imports)
        {
            for (const std::string& sProblem : Judge(table, import)) ADD_FAILURE() << shipped.sPath << ": " << sProblem;
        }
    }
}

TEST(ShippedHeaders, BuiltForI386AndWindows40)
{
    for (const Shipped& shipped : ShippedFiles())
    {
        vxtest::PeImage image;
        ASSERT_TRUE(LoadImage(shipped.sPath, &image));
        EXPECT_EQ(IMAGE_FILE_MACHINE_I386, image.Machine()) << shipped.sPath;
        EXPECT_EQ(shipped.fExe ? 0 : IMAGE_FILE_DLL, image.Characteristics() & IMAGE_FILE_DLL) << shipped.sPath;
        if (shipped.fExe)
        {
            EXPECT_EQ(shipped.fGui ? IMAGE_SUBSYSTEM_WINDOWS_GUI : IMAGE_SUBSYSTEM_WINDOWS_CUI, image.Subsystem())
                << shipped.sPath;
        }
        EXPECT_EQ(4, image.MajorSubsystemVersion()) << shipped.sPath;
        EXPECT_EQ(0, image.MinorSubsystemVersion()) << shipped.sPath;
        EXPECT_EQ(4, image.MajorOperatingSystemVersion()) << shipped.sPath;
        EXPECT_EQ(0, image.MinorOperatingSystemVersion()) << shipped.sPath;
    }
}

// Windows 95 refuses to load a DLL that has a TLS directory (error 1114), and releases before
// Vista never call the TLS callbacks of a DLL loaded after start-up; none of the files needs one.
TEST(ShippedHeaders, NoTlsDirectory)
{
    for (const Shipped& shipped : ShippedFiles())
    {
        vxtest::PeImage image;
        ASSERT_TRUE(LoadImage(shipped.sPath, &image));
        EXPECT_FALSE(image.HasDirectory(IMAGE_DIRECTORY_ENTRY_TLS)) << shipped.sPath << ": has a TLS directory";
    }
}

// The files ship stripped, their debug information in <file>.debug beside them: an image's
// section names fit the header's 8 bytes (a longer one is a "/<offset>" into the COFF string
// table, which is not part of what the loader maps) and it has no symbol table.
TEST(ShippedHeaders, StrippedOfDebugInformation)
{
    for (const Shipped& shipped : ShippedFiles())
    {
        vxtest::PeImage image;
        ASSERT_TRUE(LoadImage(shipped.sPath, &image));
        EXPECT_EQ(0u, image.PointerToSymbolTable()) << shipped.sPath << ": has a symbol table";
        EXPECT_EQ(0u, image.NumberOfSymbols()) << shipped.sPath << ": has a symbol table";
        for (const std::string& sName : image.SectionNames())
        {
            EXPECT_NE('/', sName.empty() ? '\0' : sName[0])
                << shipped.sPath << ": section " << sName << " is named in the string table";
            EXPECT_NE(0u, sName.rfind(".debug", 0)) << shipped.sPath << ": has debug section " << sName;
        }
    }
}

// The reader on damaged copies of the executable: an error text, never a read outside it.
TEST(ImportReader, RefusesDamagedFiles)
{
    std::string sImage;
    ASSERT_TRUE(vxtest::ReadFileBytes(ShippedPath("vxfpdi14.exe"), &sImage));
    vxtest::PeImage image;
    std::vector<vxtest::PeImage::Import> imports;
    ASSERT_TRUE(image.Parse(sImage, NULL));
    ASSERT_TRUE(image.ReadImports(&imports, NULL));
    const size_t cImports = imports.size();

    // Where the import directory entry sits: optional header, then its data directories.
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, sImage.data(), sizeof(dos));
    const size_t cbImportRva = static_cast<size_t>(dos.e_lfanew) + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER) +
                               offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) +
                               IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof(IMAGE_DATA_DIRECTORY);
    const struct
    {
        const char* pszWhat;
        size_t cbCut;       // cut the file there, or
        DWORD dwImportRva;  // write this import directory address
    } kDamages[] = {
        {"cut after the headers", 1024, 0},
        {"cut in the middle", sImage.size() / 2, 0},
        {"import directory outside every section", 0, 0xCCCCCCCC},
        {"no import directory", 0, 0},
    };
    for (size_t i = 0; i < sizeof(kDamages) / sizeof(kDamages[0]); ++i)
    {
        std::string sDamaged = sImage;
        if (kDamages[i].cbCut) sDamaged.resize(kDamages[i].cbCut);
        else std::memcpy(&sDamaged[cbImportRva], &kDamages[i].dwImportRva, sizeof(DWORD));
        std::string sError;
        const bool fRead = image.Parse(sDamaged, &sError) && image.ReadImports(&imports, &sError);
        // A cut may leave the import tables whole; then everything read must still be there.
        if (fRead)
        {
            EXPECT_EQ(cImports, imports.size()) << i << ": " << kDamages[i].pszWhat;
        }
        else
        {
            EXPECT_FALSE(sError.empty()) << i << ": " << kDamages[i].pszWhat;
        }
        if (kDamages[i].cbCut == 0)
        {
            EXPECT_FALSE(fRead) << i << ": " << kDamages[i].pszWhat;
        }
    }
}

}  // namespace
