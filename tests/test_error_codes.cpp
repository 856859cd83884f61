// Result-code names, system texts and the message box (answered through its window handle).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "infrastructure/error_codes.h"
#include "infrastructure/thread.h"
#include "pdi_resource.h"
#include "support/test_support.h"

namespace
{

struct NameCase
{
    LONG lCode;
    const char* pszName;
};

const NameCase kNames[] = {
    {ERR_NOERROR, "ERR_NOERROR"},
    {ERR_UNKNOWN, "ERR_UNKNOWN"},
    {ERR_MEMORY, "ERR_MEMORY"},
    {ERR_BADPARAMETER, "ERR_BADPARAMETER"},
    {ERR_INVALIDPOINTER, "ERR_INVALIDPOINTER"},
    {ERR_PRINTERNOTSUPPORTED, "ERR_PRINTERNOTSUPPORTED"},
    {ERR_PORTNOTSUPPORTED, "ERR_PORTNOTSUPPORTED"},
    {ERR_CONNECTIONLOST, "ERR_CONNECTIONLOST"},
    {ERR_PRINTERNOTFOUND, "ERR_PRINTERNOTFOUND"},
    {ERR_BUFFEROVERFLOW, "ERR_BUFFEROVERFLOW"},
    {ERR_RESOURCEUNAVAILABLE, "ERR_RESOURCEUNAVAILABLE"},
    {ERR_TIMEOUT, "ERR_TIMEOUT"},
    {ERR_READONLY, "ERR_READONLY"},
    {ERR_ACTIONNOTNOW, "ERR_ACTIONNOTNOW"},
    {ERR_RESOURCENOTFOUND, "ERR_RESOURCENOTFOUND"},
    {ERR_MUTEX, "ERR_MUTEX"},
    {ERR_COMMUNITYNAME, "ERR_COMMUNITYNAME"},
    {ERR_STLEXCEPTION, "ERR_STLEXCEPTION"},
    {ERR_REMOVEPRINTER, "ERR_REMOVEPRINTER"},
    {ERR_ERRORNOTFOUND, "ERR_ERRORNOTFOUND"},
    {ERR_ERRORMASKED, "ERR_ERRORMASKED"},
};

// The system's own text for a code, as an independent reference.
std::string SystemText(DWORD dwCode)
{
    char* pszText = NULL;
    if (!FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                        NULL, dwCode, 0, reinterpret_cast<LPSTR>(&pszText), 0, NULL))
        return std::string();
    std::string s = pszText;
    LocalFree(pszText);
    return s;
}

std::string UniqueCaption(const char* pszTag)
{
    char szCaption[96];
    std::snprintf(szCaption, sizeof(szCaption), "vxt %s %lu-%lu", pszTag, GetCurrentProcessId(), GetTickCount());
    return szCaption;
}

// What the answering thread saw of a message box.
struct BoxProbe
{
    std::string sCaption;  // empty: find this process's box by enumeration instead
    bool fFound = false;
    std::vector<std::string> texts;  // of the Static children
    bool fHasIcon = false;
};

struct EnumContext
{
    HWND hFound;
};

BOOL CALLBACK FindOwnDialog(HWND hwnd, LPARAM lParam)
{
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hwnd, &dwPid);
    char szClass[64] = "";
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    if (dwPid == GetCurrentProcessId() && lstrcmpA(szClass, "#32770") == 0 && GetWindowTextLengthA(hwnd) == 0)
    {
        reinterpret_cast<EnumContext*>(lParam)->hFound = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindBox(const std::string& sCaption)
{
    if (!sCaption.empty()) return FindWindowA(NULL, sCaption.c_str());
    EnumContext context = {NULL};
    EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&context));
    return context.hFound;
}

// Finds the box, reads it and answers Yes; gives up after 20 s (the box then stays and the
// waiting test times out visibly).
unsigned long WINAPI AnswerBox(void* pv)
{
    BoxProbe* pProbe = static_cast<BoxProbe*>(pv);
    HWND hwnd = NULL;
    for (int i = 0; i < 400 && !(hwnd && IsWindowVisible(hwnd)); ++i)
    {
        Sleep(50);
        hwnd = FindBox(pProbe->sCaption);
    }
    if (!hwnd || !IsWindowVisible(hwnd)) return 1;
    pProbe->fFound = true;
    for (HWND hChild = FindWindowExA(hwnd, NULL, "Static", NULL); hChild;
         hChild = FindWindowExA(hwnd, hChild, "Static", NULL))
    {
        if ((GetWindowLongA(hChild, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        {
            pProbe->fHasIcon = pProbe->fHasIcon || IsWindowVisible(hChild);
            continue;
        }
        char szText[1024] = "";
        GetWindowTextA(hChild, szText, sizeof(szText));
        pProbe->texts.push_back(szText);
    }
    PostMessageA(hwnd, WM_COMMAND, IDYES, 0);
    return 0;
}

bool HasText(const BoxProbe& probe, const std::string& sText)
{
    for (const std::string& s : probe.texts)
    {
        if (s == sText) return true;
    }
    return false;
}

// The PDI's string table, loaded as data.
class PdiStrings
{
public:
    PdiStrings() : m_hModule(LoadLibraryExA(vxtest::PdiExePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~PdiStrings()
    {
        if (m_hModule) FreeLibrary(m_hModule);
    }
    HMODULE Get() const { return m_hModule; }
    std::string Load(UINT uId) const
    {
        char sz[MAX_PATH] = "";
        LoadStringA(m_hModule, uId, sz, sizeof(sz));
        return sz;
    }

private:
    PdiStrings(const PdiStrings&) = delete;
    PdiStrings& operator=(const PdiStrings&) = delete;
    HMODULE m_hModule;
};

struct BoxCall
{
    UINT uStringId;
    HMODULE hModule;
    LONG lResult;
    DWORD dwLastErrorAfter;
};

unsigned long WINAPI CallErrorBox(void* pv)
{
    BoxCall* pCall = static_cast<BoxCall*>(pv);
    SetLastError(ERROR_ACCESS_DENIED);
    pCall->lResult = GetLastErrorMsg(pCall->uStringId, pCall->hModule);
    pCall->dwLastErrorAfter = GetLastError();
    return 0;
}

unsigned long WINAPI CallErrorBoxWithoutError(void* pv)
{
    BoxCall* pCall = static_cast<BoxCall*>(pv);
    SetLastError(0);
    pCall->lResult = GetLastErrorMsg(pCall->uStringId, pCall->hModule);
    pCall->dwLastErrorAfter = GetLastError();
    return 0;
}

}  // namespace

TEST(GetErrorString, TableNames)
{
    ASSERT_EQ(ERR_NAME_COUNT, sizeof(kNames) / sizeof(kNames[0]));
    for (size_t i = 0; i < ERR_NAME_COUNT; ++i)
    {
        EXPECT_STREQ(kNames[i].pszName, g_aszErrorNames[i]) << i;
        SetLastError(0xdeadbeef);
        const char* pszName = GetErrorString(kNames[i].lCode);
        EXPECT_STREQ(kNames[i].pszName, pszName) << i;
        EXPECT_EQ(g_aszErrorNames[i], pszName) << i;  // the constant itself, not a copy
        EXPECT_EQ(0xdeadbeefu, GetLastError()) << i;  // table codes leave the last error alone
    }
    EXPECT_EQ(-50000, ERR_UNKNOWN);
    EXPECT_EQ(-50019, ERR_ERRORMASKED);
}

TEST(GetErrorString, CodesBesideTheTableHaveNoText)
{
    const LONG alCodes[] = {-50020, -49999, -1, static_cast<LONG>(0x80000000)};
    for (size_t i = 0; i < sizeof(alCodes) / sizeof(alCodes[0]); ++i)
    {
        SetLastError(0xdeadbeef);
        EXPECT_STREQ("", GetErrorString(alCodes[i])) << i;
        EXPECT_EQ(static_cast<DWORD>(alCodes[i]), GetLastError()) << i;
    }
}

TEST(GetErrorString, SystemCodeGivesSystemTextAndKeepsTheCode)
{
    SetLastError(0xdeadbeef);
    const char* pszText = GetErrorString(ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    const std::string sText = pszText;
    EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED), sText);
    ASSERT_GT(sText.size(), 2u);
    EXPECT_EQ('\n', sText[sText.size() - 1]) << "the system's line break stays";
    EXPECT_NE(std::string::npos, sText.find("ccess denied")) << sText;
}

namespace
{

struct CrossThread
{
    HANDLE hAsked;
    HANDLE hGo;
    std::string sSeen;
};

unsigned long WINAPI AskOtherCode(void* pv)
{
    CrossThread* p = static_cast<CrossThread*>(pv);
    WaitForSingleObject(p->hGo, 10000);
    p->sSeen = GetErrorString(ERROR_FILE_NOT_FOUND);
    SetEvent(p->hAsked);
    return 0;
}

}  // namespace

TEST(GetErrorString, AnotherThreadDoesNotChangeMyText)
{
    CrossThread shared = {CreateEventA(NULL, TRUE, FALSE, NULL), CreateEventA(NULL, TRUE, FALSE, NULL), ""};
    const char* pszMine = GetErrorString(ERROR_ACCESS_DENIED);
    const std::string sMineBefore = pszMine;
    CThread other;
    other.Init(AskOtherCode, &shared, 0, 0, 0, NULL);
    ASSERT_TRUE(other != NULL);
    SetEvent(shared.hGo);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(shared.hAsked, 10000));
    EXPECT_EQ(0, other.Wait(10000));
    EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND), shared.sSeen);
    EXPECT_EQ(sMineBefore, std::string(pszMine));
    CloseHandle(const_cast<HANDLE>(static_cast<const void*>(other)));
    CloseHandle(shared.hAsked);
    CloseHandle(shared.hGo);
}

TEST(GetLastErrorMsg, TextOfSuccess)
{
    CVxCiString sText = "sentinel";
    SetLastError(0);
    EXPECT_EQ(0, GetLastErrorMsg(sText));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(SystemText(0), ToStd(sText));
    EXPECT_NE(CVxCiString("sentinel"), sText);
}

TEST(GetLastErrorMsg, CodeWithoutTextLeavesTheStringAlone)
{
    CVxCiString sText = "sentinel";
    SetLastError(0x2A2A2A2A);
    EXPECT_EQ(0x2A2A2A2A, GetLastErrorMsg(sText));
    EXPECT_EQ(0x2A2A2A2Au, GetLastError());
    EXPECT_EQ(CVxCiString("sentinel"), sText);
}

TEST(GetLastErrorMsg, TextReplacesTheString)
{
    CVxCiString sText = "sentinel";
    SetLastError(ERROR_INVALID_HANDLE);
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastErrorMsg(sText));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(SystemText(ERROR_INVALID_HANDLE), ToStd(sText));
}

struct StyleCase
{
    UINT uStyle;
    LANGID wLangId;
    LANGID wSystemLangId;
    UINT uExpected;
};

TEST(MessageBoxStyleFor, RightToLeftRule)
{
    const StyleCase kCases[] = {
        {MB_OK, 1025, 0x0409, MB_RTLREADING},                     // Arabic (Saudi Arabia)
        {MB_YESNO, 1037, 0x0409, MB_YESNO | MB_RTLREADING},       // Hebrew
        {MB_OK, 0x0801, 0x0409, MB_OK},                           // only the two named ids
        {MB_OK, 0x0409, 0x0401, MB_OK},                           // an id given wins over the system
        {MB_ICONINFORMATION, 0, 0x0409, MB_ICONINFORMATION},      // 0: the system's language
        {MB_ICONINFORMATION, 0, 0x0401, MB_ICONINFORMATION | MB_RTLREADING},
        {MB_OK, 0, 0x0C01, MB_RTLREADING},                        // any Arabic system
        {MB_OK, 0, 0x040D, MB_RTLREADING},                        // Hebrew system
        {MB_OK, 0, 0x0411, MB_OK},
        {MB_RTLREADING, 0x0409, 0x0409, MB_RTLREADING},           // a caller's own flag stays
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        EXPECT_EQ(kCases[i].uExpected, MessageBoxStyleFor(kCases[i].uStyle, kCases[i].wLangId, kCases[i].wSystemLangId))
            << i;
    }
}

// The box is a real window: a second thread finds it by caption, reads it and answers Yes.
TEST(ShowMessageBox, RealWindowAnsweredByHandle)
{
    BoxProbe probe;
    probe.sCaption = UniqueCaption("box");
    CThread answerer;
    answerer.Init(AnswerBox, &probe, 0, 0, 0, NULL);
    ASSERT_TRUE(answerer != NULL);
    EXPECT_EQ(IDYES, ShowMessageBox(NULL, "Is this the text?", probe.sCaption.c_str(), MB_YESNO, 0x0409));
    EXPECT_EQ(0, answerer.Wait(30000));
    EXPECT_EQ(0, answerer.GetExitCode());
    ASSERT_TRUE(probe.fFound);
    EXPECT_TRUE(HasText(probe, "Is this the text?"));
    CloseHandle(const_cast<HANDLE>(static_cast<const void*>(answerer)));
}

// Wine lays a box out the same with or without MB_RTLREADING (no reading-order style shows on
// the dialog or its text), so the flag is checked where it is passed on: at MessageBoxA.
TEST(ShowMessageBox, HebrewBoxAppearsAndIsAnswered)
{
    BoxProbe probe;
    probe.sCaption = UniqueCaption("rtl");
    CThread answerer;
    answerer.Init(AnswerBox, &probe, 0, 0, 0, NULL);
    ASSERT_TRUE(answerer != NULL);
    EXPECT_EQ(IDYES, ShowMessageBox(NULL, "rtl text", probe.sCaption.c_str(), MB_OK, 1037));
    EXPECT_EQ(0, answerer.Wait(30000));
    ASSERT_TRUE(probe.fFound);
    EXPECT_TRUE(HasText(probe, "rtl text"));
    CloseHandle(const_cast<HANDLE>(static_cast<const void*>(answerer)));
}

namespace
{

struct SeenBox
{
    int nCalls;
    HWND hOwner;
    std::string sText, sCaption;
    UINT uStyle;
};
SeenBox g_seen;

int WINAPI RecordingMessageBoxA(HWND hOwner, LPCSTR pszText, LPCSTR pszCaption, UINT uStyle)
{
    ++g_seen.nCalls;
    g_seen.hOwner = hOwner;
    g_seen.sText = pszText ? pszText : "(null)";
    g_seen.sCaption = pszCaption ? pszCaption : "(null)";
    g_seen.uStyle = uStyle;
    return IDNO;
}

// Points this program's import of MessageBoxA at the recorder for the object's life.
class MessageBoxRecorder
{
public:
    MessageBoxRecorder() : m_ppSlot(NULL), m_pOriginal(NULL)
    {
        g_seen = SeenBox();
        void* pReal = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "MessageBoxA"));
        m_ppSlot = FindSlot(pReal);
        if (m_ppSlot) Write(reinterpret_cast<void*>(RecordingMessageBoxA));
        m_pOriginal = pReal;
    }
    ~MessageBoxRecorder()
    {
        if (m_ppSlot) Write(m_pOriginal);
    }
    bool Active() const { return m_ppSlot != NULL; }

private:
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    static void** FindSlot(void* pReal)
    {
        BYTE* pBase = reinterpret_cast<BYTE*>(GetModuleHandleA(NULL));
        const IMAGE_NT_HEADERS* pNt =
            reinterpret_cast<const IMAGE_NT_HEADERS*>(pBase + reinterpret_cast<IMAGE_DOS_HEADER*>(pBase)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (!pReal || !dir.VirtualAddress) return NULL;
        for (IMAGE_IMPORT_DESCRIPTOR* pImport = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + dir.VirtualAddress);
             pImport->Name; ++pImport)
        {
            for (IMAGE_THUNK_DATA* pThunk = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pImport->FirstThunk);
                 pThunk->u1.Function; ++pThunk)
            {
                if (reinterpret_cast<void*>(pThunk->u1.Function) == pReal)
                    return reinterpret_cast<void**>(&pThunk->u1.Function);
            }
        }
        return NULL;
    }
    void Write(void* pValue)
    {
        DWORD dwOld = 0;
        VirtualProtect(m_ppSlot, sizeof(void*), PAGE_READWRITE, &dwOld);
        *m_ppSlot = pValue;
        VirtualProtect(m_ppSlot, sizeof(void*), dwOld, &dwOld);
    }

    void** m_ppSlot;
    void* m_pOriginal;
};

bool IsRightToLeftSystem()
{
    const LANGID wPrimary = PRIMARYLANGID(GetSystemDefaultLangID());
    return wPrimary == LANG_ARABIC || wPrimary == LANG_HEBREW;
}

}  // namespace

// The style and texts MessageBoxA receives, and its result handed back. A zero language id
// follows the system's language, which a run under an Arabic or Hebrew locale changes.
TEST(ShowMessageBox, StylePassedOn)
{
    MessageBoxRecorder recorder;
    ASSERT_TRUE(recorder.Active());
    const UINT uZeroIdRtl = IsRightToLeftSystem() ? MB_RTLREADING : 0;
    const struct
    {
        UINT uStyle;
        LANGID wLangId;
        UINT uExpected;
    } kCases[] = {
        {MB_YESNO | MB_ICONQUESTION, 1025, MB_YESNO | MB_ICONQUESTION | MB_RTLREADING},
        {MB_OK, 1037, MB_OK | MB_RTLREADING},
        {MB_OK, 0x0409, MB_OK},
        {MB_OK, 0x0C01, MB_OK},
        {MB_ICONINFORMATION, 0, MB_ICONINFORMATION | uZeroIdRtl},
    };
    for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i)
    {
        g_seen = SeenBox();
        EXPECT_EQ(IDNO, ShowMessageBox(NULL, "text", "caption", kCases[i].uStyle, kCases[i].wLangId)) << i;
        EXPECT_EQ(1, g_seen.nCalls) << i;
        EXPECT_EQ("text", g_seen.sText) << i;
        EXPECT_EQ("caption", g_seen.sCaption) << i;
        EXPECT_EQ(kCases[i].uExpected, g_seen.uStyle) << i;
    }
    std::printf("system language %04X\n", GetSystemDefaultLangID());
}

TEST(GetLastErrorMsg, BoxIsAnInformationBoxWithoutOwner)
{
    MessageBoxRecorder recorder;
    ASSERT_TRUE(recorder.Active());
    SetLastError(ERROR_INVALID_HANDLE);
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastErrorMsg(9999, GetModuleHandleA(NULL)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    ASSERT_EQ(1, g_seen.nCalls);
    EXPECT_TRUE(g_seen.hOwner == NULL);
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION) | (IsRightToLeftSystem() ? MB_RTLREADING : 0), g_seen.uStyle);
    EXPECT_EQ("", g_seen.sCaption);
    EXPECT_EQ(SystemText(ERROR_INVALID_HANDLE), g_seen.sText);
}

TEST(GetLastErrorMsg, BoxCaptionedFromTheModulesStringTable)
{
    PdiStrings strings;
    ASSERT_TRUE(strings.Get() != NULL) << vxtest::PdiExePath();
    BoxProbe probe;
    probe.sCaption = strings.Load(IDS_SET_DEFAULT_PRINTER);
    ASSERT_FALSE(probe.sCaption.empty());
    BoxCall call = {IDS_SET_DEFAULT_PRINTER, strings.Get(), -1, 0};
    CThread caller, answerer;
    answerer.Init(AnswerBox, &probe, 0, 0, 0, NULL);
    caller.Init(CallErrorBox, &call, 0, 0, 0, NULL);
    ASSERT_TRUE(caller != NULL && answerer != NULL);
    EXPECT_EQ(0, caller.Wait(30000));
    EXPECT_EQ(0, answerer.Wait(30000));
    ASSERT_TRUE(probe.fFound);
    EXPECT_TRUE(HasText(probe, SystemText(ERROR_ACCESS_DENIED)));
    EXPECT_TRUE(probe.fHasIcon) << "information icon";
    EXPECT_EQ(ERROR_ACCESS_DENIED, call.lResult);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), call.dwLastErrorAfter);
    CloseHandle(const_cast<HANDLE>(static_cast<const void*>(caller)));
    CloseHandle(const_cast<HANDLE>(static_cast<const void*>(answerer)));
}

TEST(GetLastErrorMsg, MissingStringGivesAnEmptyCaption)
{
    PdiStrings strings;
    ASSERT_TRUE(strings.Get() != NULL);
    BoxProbe probe;  // empty caption: found by enumeration
    BoxCall call = {9999, strings.Get(), -1, 0};
    CThread caller, answerer;
    answerer.Init(AnswerBox, &probe, 0, 0, 0, NULL);
    caller.Init(CallErrorBox, &call, 0, 0, 0, NULL);
    EXPECT_EQ(0, caller.Wait(30000));
    EXPECT_EQ(0, answerer.Wait(30000));
    ASSERT_TRUE(probe.fFound);
    EXPECT_TRUE(HasText(probe, SystemText(ERROR_ACCESS_DENIED)));
    EXPECT_EQ(ERROR_ACCESS_DENIED, call.lResult);
    CloseHandle(const_cast<HANDLE>(static_cast<const void*>(caller)));
    CloseHandle(const_cast<HANDLE>(static_cast<const void*>(answerer)));
}

// With no error there is no box: the call returns at once instead of waiting for an answer.
TEST(GetLastErrorMsg, NoErrorNoBox)
{
    BoxCall call = {IDS_SET_DEFAULT_PRINTER, GetModuleHandleA(NULL), -1, 0xdeadbeef};
    CThread caller;
    caller.Init(CallErrorBoxWithoutError, &call, 0, 0, 0, NULL);
    ASSERT_TRUE(caller != NULL);
    const long lWait = caller.Wait(10000);
    EXPECT_EQ(0, lWait);
    if (lWait != 0)
    {
        BoxProbe probe;  // a box did appear: answer it so the test can end
        AnswerBox(&probe);
        caller.Wait(10000);
    }
    EXPECT_EQ(0, call.lResult);
    EXPECT_EQ(0u, call.dwLastErrorAfter);
    CloseHandle(const_cast<HANDLE>(static_cast<const void*>(caller)));
}
