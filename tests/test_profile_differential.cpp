// The profile reader's parse and the medium checker's scan against the line-by-line parser the
// reader replaced, which is kept here as the reference: on the profile tests' generated files and
// the reliability suite's damaged media files, all three must give the same sections, key lines
// and values.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "file_scan.h"
#include "infrastructure/ci_string.h"
#include "parsed_profile.h"
#include "support/hostile_text.h"
#include "support/pdi_process.h"
#include "support/test_support.h"

namespace
{

// ---- The replaced parser, as it stood -------------------------------------------------------

namespace legacy
{

const int kLineBuffer = 1000;
const size_t kMaxSectionName = 249;

struct CiLess
{
    bool operator()(const CVxCiString& a, const CVxCiString& b) const
    {
        const size_t n = a.size() < b.size() ? a.size() : b.size();
        for (size_t i = 0; i < n; ++i)
        {
            const unsigned char ca = static_cast<unsigned char>(CVxCiCharTraits::Upper(a[i]));
            const unsigned char cb = static_cast<unsigned char>(CVxCiCharTraits::Upper(b[i]));
            if (ca != cb) return ca < cb;
        }
        return a.size() < b.size();
    }
};

struct Section
{
    std::vector<CVxCiString> keyOrder;
    std::map<CVxCiString, CVxCiString, CiLess> values;
};
typedef std::map<CVxCiString, Section, CiLess> Sections;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool IsLeadByte(char c) { return IsDBCSLeadByte(static_cast<BYTE>(c)) != FALSE; }

char* TrimSpaces(char* pszText)
{
    while (IsSpace(*pszText)) ++pszText;
    char* pEnd = pszText;
    char* p = pszText;
    while (*p)
    {
        if (IsLeadByte(*p) && p[1])
        {
            p += 2;
            pEnd = p;
            continue;
        }
        if (!IsSpace(*p)) pEnd = p + 1;
        ++p;
    }
    std::memset(pEnd, 0, static_cast<size_t>(p - pEnd));
    return pszText;
}

void CutAtCharacter(char* psz, size_t cbMax)
{
    size_t i = 0;
    while (psz[i])
    {
        const size_t cbChar = (IsLeadByte(psz[i]) && psz[i + 1]) ? 2 : 1;
        if (i + cbChar > cbMax) break;
        i += cbChar;
    }
    psz[i] = '\0';
}

char* FindSingleByte(char* psz, char ch)
{
    for (char* p = psz; *p;)
    {
        if (IsLeadByte(*p) && p[1])
        {
            p += 2;
            continue;
        }
        if (*p == ch) return p;
        ++p;
    }
    return NULL;
}

void ParseLine(char* pszLine, Sections& sections, Section*& pCurrent)
{
    if (pszLine[0] == '[')
    {
        if (char* pszClose = FindSingleByte(pszLine + 1, ']'))
        {
            *pszClose = '\0';
            char* pszName = TrimSpaces(pszLine + 1);
            CutAtCharacter(pszName, kMaxSectionName);
            pszName = TrimSpaces(pszName);
            pCurrent = pszName[0] ? &sections[CVxCiString(pszName)] : NULL;
            return;
        }
    }
    if (!pCurrent || pszLine[0] == ';') return;
    char* pszEquals = FindSingleByte(pszLine, '=');
    if (!pszEquals) return;
    *pszEquals = '\0';
    const char* pszKey = TrimSpaces(pszLine);
    if (!pszKey[0]) return;
    char* pszValue = TrimSpaces(pszEquals + 1);
    const size_t cchValue = std::strlen(pszValue);
    if (cchValue > 0 && pszValue[0] == '"' && pszValue[cchValue - 1] == '"')
    {
        pszValue[cchValue - 1] = '\0';
        if (cchValue > 1) ++pszValue;
    }
    CVxCiString sKey(pszKey);
    pCurrent->values[sKey] = pszValue;
    pCurrent->keyOrder.push_back(sKey);
}

void ParseOneLine(char* pszLine, Sections& sections, Section*& pCurrent)
{
    char* p = pszLine;
    while (*p == '\r' || *p == '\n') ++p;
    p[std::strcspn(p, "\r\n")] = '\0';
    p = TrimSpaces(p);
    if (*p) ParseLine(p, sections, pCurrent);
}

void ParseStream(FILE* pFile, Sections& sections)
{
    std::vector<char> block(64 * 1024);
    char szLine[kLineBuffer];
    size_t cchLine = 0;
    Section* pCurrent = NULL;
    size_t cbRead;
    while ((cbRead = std::fread(block.data(), 1, block.size(), pFile)) > 0)
    {
        const char* p = block.data();
        const char* pEnd = p + cbRead;
        while (p < pEnd)
        {
            const size_t cbRoom = (kLineBuffer - 1) - cchLine;
            const size_t cbAvailable = static_cast<size_t>(pEnd - p) < cbRoom ? static_cast<size_t>(pEnd - p) : cbRoom;
            const char* pNewLine = static_cast<const char*>(std::memchr(p, '\n', cbAvailable));
            const size_t cbTake = pNewLine ? static_cast<size_t>(pNewLine - p) + 1 : cbAvailable;
            std::memcpy(szLine + cchLine, p, cbTake);
            cchLine += cbTake;
            p += cbTake;
            if (pNewLine || cchLine == kLineBuffer - 1)
            {
                szLine[cchLine] = '\0';
                ParseOneLine(szLine, sections, pCurrent);
                cchLine = 0;
            }
        }
    }
    if (cchLine > 0)
    {
        szLine[cchLine] = '\0';
        ParseOneLine(szLine, sections, pCurrent);
    }
}

}  // namespace legacy

// ---- Both parses as lines of text, to compare -----------------------------------------------

std::string Quoted(const char* p, size_t cch) { return std::to_string(cch) + ":" + std::string(p, cch); }
std::string Quoted(const CVxCiString& s) { return Quoted(s.c_str(), s.size()); }

std::vector<std::string> LegacyLines(const legacy::Sections& sections)
{
    std::vector<std::string> lines;
    for (const auto& section : sections)
    {
        lines.push_back("[" + Quoted(section.first));
        for (const CVxCiString& sKey : section.second.keyOrder)
            lines.push_back(Quoted(sKey) + " = " + Quoted(section.second.values.at(sKey)));
    }
    return lines;
}

std::vector<std::string> ParsedLines(const CParsedProfile& parsed)
{
    std::vector<std::string> lines;
    for (CParsedProfile::Index nSection : parsed.SortedSections())
    {
        const CProfileSpan name = parsed.SectionName(nSection);
        lines.push_back("[" + Quoted(name.p, name.cch));
        parsed.ForEachKey(nSection, [&](const CProfileSpan& key) {
            const std::string sKey(key.p, key.cch);
            CProfileSpan value = {"", 0};
            std::string sLine = Quoted(key.p, key.cch) + " = ";
            sLine += parsed.FindValue(nSection, sKey.c_str(), &value) ? Quoted(value.p, value.cch) : "(missing)";
            lines.push_back(sLine);
            return true;
        });
    }
    return lines;
}

// The checker's sections and key lines in the reference's form: a key's last line gives its value.
legacy::Sections AsSections(const medcheck::ScannedFile& file)
{
    legacy::Sections sections;
    for (const auto& scanned : file.sections)
    {
        legacy::Section& section = sections[scanned.first];
        for (const medcheck::ScannedKey& key : scanned.second.keys)
        {
            section.keyOrder.push_back(key.sKey.c_str());
            section.values[key.sKey.c_str()] = key.sValue.c_str();
        }
    }
    return sections;
}

// Fails, naming sWhat and the first difference, when the lines differ.
void ExpectSameLines(const std::vector<std::string>& expected, const std::vector<std::string>& actual,
                     const std::string& sWhat)
{
    for (size_t i = 0; i < expected.size() && i < actual.size(); ++i)
        ASSERT_EQ(expected[i], actual[i]) << sWhat << ", line " << i;
    ASSERT_EQ(expected.size(), actual.size()) << sWhat;
}

std::string Flipped(const CVxCiString& s)
{
    std::string sOut(s.c_str(), s.size());
    for (char& c : sOut)
    {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return sOut;
}

// Parses sFile all three ways and fails, naming sWhat and the first difference, when they differ.
void ExpectSameParse(const std::string& sFile, const std::string& sWhat)
{
    legacy::Sections sections;
    {
        FILE* pFile = std::fopen(sFile.c_str(), "r");
        ASSERT_TRUE(pFile != NULL) << sWhat;
        legacy::ParseStream(pFile, sections);
        std::fclose(pFile);
    }
    CParsedProfile parsed;
    {
        FILE* pFile = std::fopen(sFile.c_str(), "rb");
        ASSERT_TRUE(pFile != NULL) << sWhat;
        // Expecting fewer bytes than there are, as when a file grows after its check.
        parsed.Parse(pFile, 16);
        std::fclose(pFile);
    }
    const std::vector<std::string> expected = LegacyLines(sections);
    ASSERT_NO_FATAL_FAILURE(ExpectSameLines(expected, ParsedLines(parsed), sWhat + ", the reader"));
    ASSERT_EQ(sections.size(), parsed.SectionCount()) << sWhat;
    medcheck::FindingList findings;
    const medcheck::ScannedFile scanned = medcheck::ScanProfileFile(sFile, "diff.ini", findings);
    // A file the checker takes for UTF-16 or a section lost to a UTF-8 mark gets that one finding
    // and is not read further.
    if (scanned.fMisencoded)
        ASSERT_EQ(1u, findings.All().size()) << sWhat;
    else
        ASSERT_NO_FATAL_FAILURE(ExpectSameLines(expected, LegacyLines(AsSections(scanned)), sWhat + ", the checker"));

    // Lookups by each key as the cache holds it and in the other letter case.
    for (const auto& section : sections)
    {
        const CParsedProfile::Index nSection = parsed.FindSection(Flipped(section.first).c_str());
        ASSERT_NE(CParsedProfile::kNone, nSection) << sWhat;
        for (const auto& value : section.second.values)
        {
            CProfileSpan found = {"", 0};
            ASSERT_TRUE(parsed.FindValue(nSection, Flipped(value.first).c_str(), &found)) << sWhat;
            ASSERT_EQ(Quoted(value.second), Quoted(found.p, found.cch)) << sWhat;
        }
        CProfileSpan none;
        ASSERT_FALSE(parsed.FindValue(nSection, "no key has this name", &none)) << sWhat;
    }
    ASSERT_EQ(CParsedProfile::kNone, parsed.FindSection("no section has this name")) << sWhat;
}

class ProfileDifferential : public ::testing::Test
{
protected:
    ProfileDifferential() : m_dir("prdiff") {}

    void Check(const std::string& sBytes, const std::string& sWhat)
    {
        const std::string sFile = m_dir.File("diff.ini");
        ASSERT_TRUE(vxtest::WriteFileBytes(sFile, sBytes)) << sWhat;
        ExpectSameParse(sFile, sWhat);
        if (HasFatalFailure())
        {
            // Kept for a closer look: the scratch folder goes with the test.
            const std::string sKept = vxtest::DirectoryOf(m_dir.Path()) + "\\profile_differential_failed.ini";
            CopyFileA(sFile.c_str(), sKept.c_str(), FALSE);
            ADD_FAILURE() << "the file is kept as " << sKept;
        }
    }

    vxtest::ScratchDir m_dir;
};

std::string SampleFile(const char* pszName)
{
    std::string sBytes;
    vxtest::ReadFileBytes(vxtest::SourceDir() + "\\sample\\medium\\" + pszName, &sBytes);
    return sBytes;
}

}  // namespace

TEST_F(ProfileDifferential, FuzzFilesOfTheProfileTests)
{
    std::mt19937 random(20240501);
    for (int nFile = 0; nFile < 3000 && !HasFatalFailure(); ++nFile)
    {
        std::vector<int> planted;
        Check(vxtest::FuzzProfileText(random, &planted), "fuzz file " + std::to_string(nFile));
    }
}

TEST_F(ProfileDifferential, DamagedMediaFilesOfTheReliabilitySuite)
{
    const std::string sAutorun = SampleFile("autorun.inf");
    const std::string sModels = SampleFile("models.dat");
    ASSERT_FALSE(sAutorun.empty());
    ASSERT_FALSE(sModels.empty());
    Check(sAutorun, "autorun.inf");
    Check(sModels, "models.dat");
    vxtest::Random random(1977);
    for (int n = 0; n < 600 && !HasFatalFailure(); ++n)
    {
        Check(vxtest::MutatedAutorun(random, sAutorun), "damaged autorun.inf " + std::to_string(n));
        Check(vxtest::MutatedModels(random, sModels), "damaged models.dat " + std::to_string(n));
    }
}

// The shapes the profile tests write by hand, at and around each boundary of the syntax.
TEST_F(ProfileDifferential, EdgesOfTheSyntax)
{
    std::string sLong = "[s]\n";
    for (size_t cch = 990; cch <= 1010; ++cch)
    {
        sLong += "k" + std::to_string(cch) + "=" + std::string(cch, 'v') + "\n";
        sLong += std::string(cch, 'w') + "\r\n" + std::string(cch, ' ') + "x=1\n";
        sLong += "[" + std::string(cch, 'n') + "]\nk=" + std::to_string(cch) + "\n";
    }
    sLong += "[s]\nlast=" + std::string(3000, 'z');
    Check(sLong, "lines of any length");

    const char kOdd[] = "\r\r[ a ]\r\nk = \"v\" \r\n\"q\"=\"\n=x\n  ;c=1\n[]\nlost=1\n[ A ]\nK=again\n"
                        "[b\nk2=v2\x1a" "after=eof\n";
    Check(std::string(kOdd, sizeof(kOdd) - 1), "quotes, blanks, empty names, end of file");
    const char kNul[] = "[s]\nk=v\0w=1\nm=x\n\0\0[t]\nn=1\r\0\n\t\v\f[u] \nz = \t\f\n";
    Check(std::string(kNul, sizeof(kNul) - 1), "NUL bytes and blanks");

    std::string sSections;
    for (int n = 3000; n >= 0; --n) sSections += "[Sec" + std::to_string(n % 1700) + "]\nk=" + std::to_string(n) + "\n";
    Check(sSections, "repeated sections");

    std::mt19937 random(12345);
    for (int n = 0; n < 8; ++n)
    {
        std::string sBinary(65536, '\0');
        for (char& c : sBinary) c = static_cast<char>(random() & 0xFF);
        Check(sBinary, "binary " + std::to_string(n));
    }
}

// Run in a double-byte code page too: trail bytes may read as ']', '=' or a blank.
TEST_F(ProfileDifferential, DoubleByteText)
{
    vxtest::Random random(932);
    for (int nFile = 0; nFile < 400 && !HasFatalFailure(); ++nFile)
    {
        std::string s;
        for (unsigned nLine = random.Below(30); nLine > 0; --nLine)
        {
            const std::string sText = vxtest::DoubleByteText(random, random.Below(6));
            switch (random.Below(5))
            {
            case 0: s += "[" + sText + (random.Chance(50) ? "]" : "") + sText + "\n"; break;
            case 1: s += sText + "=" + sText + " \n"; break;
            case 2: s += " " + sText + " = \"" + sText + "\"\r\n"; break;
            case 3: s += "[" + std::string(248, 'n') + sText + "]\n"; break;
            default: s += vxtest::HostileValue(random, true) + "=" + sText + "\n"; break;
            }
        }
        Check(s, "double-byte file " + std::to_string(nFile));
    }
}
