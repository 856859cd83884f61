// The default-printer offer: the question box in the system's language, its answers, and the
// cases that ask nothing. The offer reads the install medium two folders above the program, so
// each case runs this program again as a child from a copy placed on a scratch medium.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "diag/install_log.h"
#include "diag/trace_log.h"
#include "pdi_default_printer.h"
#include "support/box_answerer.h"
#include "support/spooler_printers.h"
#include "support/test_support.h"

namespace
{

const char kOffice[] = "Office Printer";
const char kGone[] = "Vxt Gone Printer";  // asks, then disappears before the answer
const char kZero[] = "Vxt Zero Printer";
const char kNone[] = "Vxt None Printer";
const char kUnknown[] = "Vxt Unknown Printer";
const char kCaptionEnglish[] = "Set Default Printer";

const char kAutorun[] =
    "[Version]\r\n"
    "InfrastructureDatabaseList=models.dat\r\n";
const char kModels[] =
    "[Models]\r\n"
    "1=ASKYES\r\n"
    "2=ASKZERO\r\n"
    "3=ASKNONE\r\n"
    "[ASKYES]\r\n"
    "drivername=Vxt Ask Yes\r\n"
    "asktomakedefaultprinter=yes\r\n"
    "[ASKZERO]\r\n"
    "drivername=Vxt Ask Zero\r\n"
    "asktomakedefaultprinter=0\r\n"
    "[ASKNONE]\r\n"
    "drivername=Vxt Ask None\r\n";

bool IsChild() { return !vxtest::Env("VX_DP_CHILD").empty(); }

// UTF-8 source text in the ANSI code page, as a window of this system shows it.
std::string ToAnsi(const char* pszUtf8)
{
    const int cch = MultiByteToWideChar(CP_UTF8, 0, pszUtf8, -1, NULL, 0);
    std::wstring sWide(cch, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pszUtf8, -1, &sWide[0], cch);
    const int cb = WideCharToMultiByte(CP_ACP, 0, sWide.c_str(), -1, NULL, 0, NULL, NULL);
    std::string s(cb, '\0');
    WideCharToMultiByte(CP_ACP, 0, sWide.c_str(), -1, &s[0], cb, NULL, NULL);
    s.resize(cb > 0 ? cb - 1 : 0);
    return s;
}

// The medium with this program two folders below its root, and the spooler's printers.
class OfferEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        if (IsChild()) return;
        m_sOldDefault = vxtest::DefaultPrinterName();
        m_pMedium.reset(new vxtest::ScratchDir("dpmedium"));
        const std::string sRoot = m_pMedium->Path();
        ASSERT_TRUE(vxtest::WriteFileBytes(sRoot + "\\autorun.inf", kAutorun));
        ASSERT_TRUE(vxtest::WriteFileBytes(sRoot + "\\models.dat", kModels));
        CreateDirectoryA((sRoot + "\\drivers").c_str(), NULL);
        CreateDirectoryA((sRoot + "\\drivers\\Win2K_XP").c_str(), NULL);
        char szSelf[MAX_PATH];
        ASSERT_NE(0u, GetModuleFileNameA(NULL, szSelf, sizeof(szSelf)));
        s_sProgram = sRoot + "\\drivers\\Win2K_XP\\vxdpoffer.exe";
        ASSERT_TRUE(CopyFileA(szSelf, s_sProgram.c_str(), FALSE)) << GetLastError();

        m_pSpooler.reset(new vxtest::SpoolerPrinters);
        ASSERT_TRUE(m_pSpooler->InstallDriver("Vxt Ask Yes", "vxtyes.dll"));
        ASSERT_TRUE(m_pSpooler->InstallDriver("Vxt Ask Zero", "vxtzero.dll"));
        ASSERT_TRUE(m_pSpooler->InstallDriver("Vxt Ask None", "vxtnone.dll"));
        ASSERT_TRUE(m_pSpooler->InstallDriver("Vxt Unknown Model", "vxtunk.dll"));
        ASSERT_TRUE(m_pSpooler->InstallPrinter(kOffice, "LPT1:", "Vxt Ask Yes"));
        ASSERT_TRUE(m_pSpooler->InstallPrinter(kZero, "LPT1:", "Vxt Ask Zero"));
        ASSERT_TRUE(m_pSpooler->InstallPrinter(kNone, "LPT1:", "Vxt Ask None"));
        ASSERT_TRUE(m_pSpooler->InstallPrinter(kUnknown, "LPT1:", "Vxt Unknown Model"));
    }
    void TearDown() override
    {
        if (IsChild()) return;
        m_pSpooler.reset();
        if (!m_sOldDefault.empty()) SetDefaultPrinterA(m_sOldDefault.c_str());
        m_pMedium.reset();
    }

    static vxtest::SpoolerPrinters& Spooler() { return *s_pThis->m_pSpooler; }
    static const std::string& Program() { return s_sProgram; }
    static OfferEnvironment* s_pThis;

private:
    static std::string s_sProgram;
    std::string m_sOldDefault;
    std::unique_ptr<vxtest::ScratchDir> m_pMedium;
    std::unique_ptr<vxtest::SpoolerPrinters> m_pSpooler;
};

OfferEnvironment* OfferEnvironment::s_pThis = NULL;
std::string OfferEnvironment::s_sProgram;

[[maybe_unused]] const ::testing::Environment* const g_pEnvironment =
    ::testing::AddGlobalTestEnvironment(OfferEnvironment::s_pThis = new OfferEnvironment);

// What one child run of the offer left behind.
struct OfferRun
{
    bool fFinished = false;
    DWORD dwExitCode = 0xdeadbeef;
    std::string sTrace;       // the trace lines the offer wrote
    std::string sInstallLog;  // the child's install log
    std::string sLanguage;    // the child's system language, as "0x%04X"
};

std::string LanguageText(LANGID wLangId)
{
    char sz[16];
    wsprintfA(sz, "0x%04X", static_cast<unsigned>(wLangId));
    return sz;
}

OfferRun RunOffer(const std::string& sName)
{
    OfferRun run;
    vxtest::ScratchDir out("dpout");
    const vxtest::ProcessResult result =
        vxtest::RunProcess("\"" + OfferEnvironment::Program() + "\" --gtest_filter=DefaultPrinterChild.Offer",
                           {{"VX_DP_CHILD", "1"}, {"VX_DP_NAME", sName}, {"VX_DP_OUT", out.Path()}}, 60000);
    run.fFinished = result.fFinished;
    run.dwExitCode = result.dwExitCode;
    vxtest::ReadFileBytes(out.File("trace.txt"), &run.sTrace);
    vxtest::ReadFileBytes(out.File("install.log"), &run.sInstallLog);
    vxtest::ReadFileBytes(out.File("language.txt"), &run.sLanguage);
    return run;
}

bool Has(const std::string& sText, const std::string& sPart) { return sText.find(sPart) != std::string::npos; }

bool IsEnglishSystem() { return PRIMARYLANGID(GetSystemDefaultLangID()) == LANG_ENGLISH; }

// Runs the offer for a printer that must not get the question.
void ExpectNoQuestion(const std::string& sName, const std::string& sTraceLine, size_t iCase, bool fModelAsks = false)
{
    ASSERT_TRUE(SetDefaultPrinterA(kZero));
    vxtest::BoxAnswerer answerer(kCaptionEnglish, IDNO);
    const OfferRun run = RunOffer(sName);
    EXPECT_FALSE(answerer.Stop()) << "case " << iCase << ": a question was shown";
    ASSERT_TRUE(run.fFinished) << "case " << iCase;
    EXPECT_EQ(0u, run.dwExitCode) << "case " << iCase;
    EXPECT_TRUE(Has(run.sTrace, "Entering DefaultPrinter(" + sName + ")")) << "case " << iCase << run.sTrace;
    EXPECT_TRUE(Has(run.sTrace, sTraceLine)) << "case " << iCase << ": " << run.sTrace;
    EXPECT_EQ(fModelAsks, Has(run.sTrace, "AskToMakeDefault is true")) << "case " << iCase;
    EXPECT_EQ(kZero, vxtest::DefaultPrinterName()) << "case " << iCase;
}

}  // namespace

// The child's part: the offer as the PDI makes it, from the medium.
TEST(DefaultPrinterChild, Offer)
{
    if (!IsChild()) GTEST_SKIP() << "run as a child by the other tests";
    const std::string sOut = vxtest::Env("VX_DP_OUT");
    ASSERT_TRUE(g_InstallLog.Open((sOut + "\\install.log").c_str(), 0, LOG_NO_TEMP_DIR));
    vxtest::WriteFileBytes(sOut + "\\language.txt", LanguageText(GetSystemDefaultLangID()));
    std::string sBefore;
    vxtest::ReadFileBytes(g_TraceLog.GetPath().c_str(), &sBefore);
    g_TraceLog.SetMask(0x1FF);
    DefaultPrinter(CVxCiString(vxtest::Env("VX_DP_NAME").c_str()));
    std::string sAfter;
    vxtest::ReadFileBytes(g_TraceLog.GetPath().c_str(), &sAfter);
    const size_t cbSkip = sBefore.size() <= sAfter.size() ? sBefore.size() : 0;
    ASSERT_TRUE(vxtest::WriteFileBytes(sOut + "\\trace.txt", sAfter.substr(cbSkip)));
}

TEST(DefaultPrinterEnglish, YesMakesItTheDefault)
{
    if (!IsEnglishSystem()) GTEST_SKIP() << "English system only";
    ASSERT_TRUE(SetDefaultPrinterA(kZero));
    vxtest::BoxAnswerer answerer(kCaptionEnglish, IDYES);
    const OfferRun run = RunOffer(kOffice);
    ASSERT_TRUE(answerer.Wait());
    ASSERT_TRUE(run.fFinished);
    EXPECT_EQ(0u, run.dwExitCode);
    EXPECT_TRUE(answerer.HasText("Do you want to set the Office Printer as your default printer?"))
        << (answerer.Texts().empty() ? "" : answerer.Texts()[0]);
    EXPECT_EQ(kOffice, vxtest::DefaultPrinterName());
    EXPECT_TRUE(Has(run.sTrace, "Entering DefaultPrinter(Office Printer)")) << run.sTrace;
    EXPECT_TRUE(Has(run.sTrace, "AskToMakeDefaultPrinter(Office Printer) return 1")) << run.sTrace;
    EXPECT_TRUE(Has(run.sTrace, "AskToMakeDefault is true")) << run.sTrace;
    EXPECT_FALSE(Has(run.sInstallLog, "Failed to set default printer"));
}

TEST(DefaultPrinterEnglish, NoChangesNothing)
{
    if (!IsEnglishSystem()) GTEST_SKIP() << "English system only";
    ASSERT_TRUE(SetDefaultPrinterA(kZero));
    vxtest::BoxAnswerer answerer(kCaptionEnglish, IDNO);
    const OfferRun run = RunOffer(kOffice);
    ASSERT_TRUE(answerer.Wait());
    ASSERT_TRUE(run.fFinished);
    EXPECT_TRUE(answerer.HasText("Do you want to set the Office Printer as your default printer?"));
    EXPECT_EQ(kZero, vxtest::DefaultPrinterName());
    EXPECT_FALSE(Has(run.sTrace, "Failed to set default printer"));
    EXPECT_FALSE(Has(run.sInstallLog, "Failed to set default printer"));
}

TEST(DefaultPrinterEnglish, AlreadyTheDefaultAsksNothing)
{
    if (!IsEnglishSystem()) GTEST_SKIP() << "English system only";
    ASSERT_TRUE(SetDefaultPrinterA(kOffice));
    vxtest::BoxAnswerer answerer(kCaptionEnglish, IDNO);
    const OfferRun run = RunOffer(kOffice);
    EXPECT_FALSE(answerer.Stop());
    ASSERT_TRUE(run.fFinished);
    EXPECT_TRUE(Has(run.sTrace, "Installing printer is already the default printer")) << run.sTrace;
    EXPECT_EQ(kOffice, vxtest::DefaultPrinterName());
}

TEST(DefaultPrinterEnglish, ModelsThatDoNotWantTheQuestion)
{
    if (!IsEnglishSystem()) GTEST_SKIP() << "English system only";
    struct Case
    {
        std::string sName;
        std::string sTrace;
    };
    const Case kCases[] = {
        {kZero, "AskToMakeDefaultPrinter(Vxt Zero Printer) return 0"},
        {kNone, "AskToMakeDefaultPrinter(Vxt None Printer) return 0"},
        {kUnknown, "Vxt Unknown Printer is not a supported device model"},
        {"Vxt No Such Printer", "Cannot initialize CPrinter object failed"},
        {std::string(259, 'N'), "Cannot initialize CPrinter object failed"},
        {std::string(300, 'N'), "Cannot initialize CPrinter object failed"},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
        ExpectNoQuestion(kCases[i].sName, kCases[i].sTrace, i);
}

TEST(DefaultPrinterEnglish, FailedSetIsLogged)
{
    if (!IsEnglishSystem()) GTEST_SKIP() << "English system only";
    ASSERT_TRUE(OfferEnvironment::Spooler().InstallPrinter(kGone, "LPT1:", "Vxt Ask Yes"));
    ASSERT_TRUE(SetDefaultPrinterA(kZero));
    bool fRemoved = false;
    vxtest::BoxAnswerer answerer(kCaptionEnglish, IDYES, 20000,
                                 [&]() { fRemoved = vxtest::SpoolerPrinters::RemovePrinter(kGone); });
    const OfferRun run = RunOffer(kGone);
    ASSERT_TRUE(answerer.Wait());
    ASSERT_TRUE(fRemoved);
    ASSERT_TRUE(run.fFinished);
    EXPECT_TRUE(Has(run.sInstallLog, "pdi_install.cpp")) << run.sInstallLog;
    EXPECT_TRUE(Has(run.sInstallLog, "Failed to set default printer")) << run.sInstallLog;
    EXPECT_TRUE(Has(run.sTrace, "Failed to set default printer for Vxt Gone Printer")) << run.sTrace;
    EXPECT_EQ(kZero, vxtest::DefaultPrinterName());
}

TEST(DefaultPrinterEnglish, NameTooLongForTheOfferIsNotOffered)
{
    if (!IsEnglishSystem()) GTEST_SKIP() << "English system only";
    const std::string sLong = "Office " + std::string(249, 'L');  // 256 bytes
    if (!OfferEnvironment::Spooler().InstallPrinter(sLong, "LPT1:", "Vxt Ask Yes"))
        GTEST_SKIP() << "the spooler refuses a name of 256 characters: " << GetLastError();
    ExpectNoQuestion(sLong, "Printer name of 256 bytes is too long to offer as the default printer", 0, true);
    vxtest::SpoolerPrinters::RemovePrinter(sLong);
}

// The medium's "<program>.exe.dat" overrides the question with a hand-written template. Inserts
// other than %1 name the friendly name too; an insert that would take its width from the
// argument list is refused, and nothing reads past the name.
TEST(DefaultPrinterEnglish, HandWrittenTemplatesNeverReadPastTheName)
{
    if (!IsEnglishSystem()) GTEST_SKIP() << "English system only";
    struct Case
    {
        const char* pszTemplate;
        const char* pszQuestion;  // NULL: refused
    };
    const Case kCases[] = {
        {"Set %2 as default?", "Set Office Printer as default?"},
        {"Set %99 as default, %1?", "Set Office Printer as default, Office Printer?"},
        {"Set %1!-16s!|", "Set Office Printer  |"},
        {"Set %1!*s! as default?", NULL},
        {"Set %99!*s! as default?", NULL},
        {"Set %1!d! as default?", NULL},
    };
    const std::string sDataFile = OfferEnvironment::Program() + ".dat";
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        const Case& c = kCases[i];
        ASSERT_TRUE(vxtest::WriteFileBytes(sDataFile, std::string("[Strings]\r\n1=") + c.pszTemplate + "\r\n"));
        ASSERT_TRUE(SetDefaultPrinterA(kZero));
        vxtest::BoxAnswerer answerer(kCaptionEnglish, IDNO);
        const OfferRun run = RunOffer(kOffice);
        const bool fShown = c.pszQuestion ? answerer.Wait() : answerer.Stop();
        DeleteFileA(sDataFile.c_str());
        ASSERT_TRUE(run.fFinished) << "case " << i;
        EXPECT_EQ(0u, run.dwExitCode) << "case " << i;
        if (c.pszQuestion)
        {
            ASSERT_TRUE(fShown) << "case " << i << ": " << run.sTrace;
            ASSERT_EQ(1u, answerer.Texts().size()) << "case " << i;
            EXPECT_EQ(c.pszQuestion, answerer.Texts()[0]) << "case " << i;
        }
        else
        {
            EXPECT_FALSE(fShown) << "case " << i << ": " << (answerer.Texts().empty() ? "" : answerer.Texts()[0]);
            EXPECT_TRUE(Has(run.sTrace, "Question template refused")) << "case " << i << ": " << run.sTrace;
            EXPECT_TRUE(Has(run.sTrace, "Failed to get the IDS_ASK_TO_MAKE_DEFAULT_PRINTER string")) << "case " << i;
        }
        EXPECT_EQ(kZero, vxtest::DefaultPrinterName()) << "case " << i;
    }
}

// A system whose default language is 0x0C0A: the question straight from the string table.
TEST(DefaultPrinterSpanish, QuestionAndCaptionIntact)
{
    ASSERT_EQ(0x0C0A, GetSystemDefaultLangID()) << "run with LOCALE es_ES.UTF-8";
    ASSERT_TRUE(SetDefaultPrinterA(kZero));
    const std::string sCaption = ToAnsi(u8"Establecer impresora predeterminada");
    vxtest::BoxAnswerer answerer(sCaption, IDYES);
    const OfferRun run = RunOffer(kOffice);
    ASSERT_TRUE(answerer.Wait()) << "no box captioned " << sCaption << "; child language " << run.sLanguage;
    EXPECT_EQ("0x0C0A", run.sLanguage);
    EXPECT_TRUE(answerer.HasText(ToAnsi(u8"¿Desea establecer Office Printer como impresora predeterminada?")))
        << (answerer.Texts().empty() ? "" : answerer.Texts()[0]);
    EXPECT_EQ(kOffice, vxtest::DefaultPrinterName());
}

// A Japanese system (code page 932): the localized-string loader's texts in double-byte form.
TEST(DefaultPrinterJapanese, QuestionAndCaptionIntact)
{
    ASSERT_EQ(932u, GetACP()) << "run with LOCALE ja_JP.UTF-8";
    ASSERT_TRUE(SetDefaultPrinterA(kZero));
    const std::string sCaption = ToAnsi(u8"通常使うプリンタの設定");
    vxtest::BoxAnswerer answerer(sCaption, IDNO);
    const OfferRun run = RunOffer(kOffice);
    ASSERT_TRUE(answerer.Wait()) << "no box; child language " << run.sLanguage;
    EXPECT_EQ("0x0411", run.sLanguage);
    EXPECT_TRUE(answerer.HasText(ToAnsi(u8"Office Printer を通常使うプリンタとして設定しますか?")))
        << (answerer.Texts().empty() ? "" : answerer.Texts()[0]);
    EXPECT_EQ(kZero, vxtest::DefaultPrinterName()) << "No changes nothing";
}

// The spooler's calls came with Windows 2000 and are bound by name: a spooler without them
// leaves both unbound, so the offer is not made, and the program still loads there.
TEST(DefaultPrinterBinding, BoundFromTheSpoolerOnlyWhenItHasBoth)
{
    const HMODULE hSpooler = LoadLibraryA("winspool.drv");
    ASSERT_TRUE(hSpooler != NULL);
    CDefaultPrinterCalls calls = {};
    ASSERT_TRUE(BindDefaultPrinterCalls(hSpooler, calls));
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(hSpooler, "GetDefaultPrinterA")), reinterpret_cast<void*>(calls.pfnGet));
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(hSpooler, "SetDefaultPrinterA")), reinterpret_cast<void*>(calls.pfnSet));

    const HMODULE kWithout[] = {GetModuleHandleA("kernel32.dll"), NULL};
    for (size_t i = 0; i < sizeof(kWithout) / sizeof(kWithout[0]); ++i)
    {
        calls.pfnGet = reinterpret_cast<BOOL(WINAPI*)(LPSTR, LPDWORD)>(1);
        calls.pfnSet = reinterpret_cast<BOOL(WINAPI*)(LPCSTR)>(1);
        EXPECT_FALSE(BindDefaultPrinterCalls(kWithout[i], calls)) << i;
        EXPECT_TRUE(calls.pfnGet == NULL && calls.pfnSet == NULL) << i;
    }
    FreeLibrary(hSpooler);
}
