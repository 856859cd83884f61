#include "pdi_default_printer.h"

#include <windows.h>

#include <cstring>

#include "diag/install_log.h"
#include "diag/trace_log.h"
#include "infrastructure/error_codes.h"
#include "infrastructure/factory.h"
#include "infrastructure/media_checks.h"
#include "infrastructure/printer.h"
#include "infrastructure/qualified_values.h"
#include "pdi_resource.h"
#include "vx_owners.h"

namespace
{

const char kAskKey[] = "asktomakedefaultprinter";
const WORD kSpanishModernSort = 0x0C0A;
const UINT kQuestionStyle = MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND;  // 0x10024
const DWORD kDefaultNameLength = 255;

bool IsYes(const char* pszValue)
{
    return lstrcmpiA(pszValue, "1") == 0 || lstrcmpiA(pszValue, "Yes") == 0;
}

// Entry uId of the program's own string table in one language, in the ANSI code page.
bool LoadTableString(UINT uId, WORD wLangId, CVxCiString& sText)
{
    HRSRC hInfo = FindResourceExA(NULL, RT_STRING, MAKEINTRESOURCEA(uId / 16 + 1), wLangId);
    if (!hInfo) return false;
    const WCHAR* pwsz = static_cast<const WCHAR*>(LockResource(LoadResource(NULL, hInfo)));
    const DWORD cbBlock = SizeofResource(NULL, hInfo);
    if (!pwsz) return false;
    const WCHAR* const pwszEnd = pwsz + cbBlock / sizeof(WCHAR);
    for (UINT i = 0; i < uId % 16; ++i)
    {
        if (pwsz >= pwszEnd) return false;
        pwsz += 1 + *pwsz;
    }
    if (pwsz >= pwszEnd || *pwsz == 0 || pwsz + 1 + *pwsz > pwszEnd) return false;
    const int cchWide = *pwsz;
    const int cb = WideCharToMultiByte(CP_ACP, 0, pwsz + 1, cchWide, NULL, 0, NULL, NULL);
    if (cb <= 0) return false;
    sText.assign(static_cast<size_t>(cb), '\0');
    return WideCharToMultiByte(CP_ACP, 0, pwsz + 1, cchWide, &sText[0], cb, NULL, NULL) == cb;
}

// String uId in the system's language: from the string table on a 0x0C0A system (a missing
// string fails silently), else through the medium's language map (failure traced).
bool LoadOfferString(UINT uId, CVxCiString& sText)
{
    if (GetSystemDefaultLangID() == kSpanishModernSort) return LoadTableString(uId, kSpanishModernSort, sText);
    if (sText.LoadLocalizedString(NULL, uId, static_cast<const char*>(NULL))) return true;
    g_TraceLog.TraceFailure("Failed to Get localized string\n");
    return false;
}

// FormatMessageA can name inserts %1 to %99.
const size_t kMaxInserts = 99;

// The template is written by hand on the medium. An insert whose format takes its width or
// precision from the argument list ("%1!*s!") or reads it as anything but a string would take
// the name's pointer for a number or walk past the list, so only "%n" and "%n!...s!" with
// flags and fixed widths pass.
bool IsSafeTemplate(const char* psz)
{
    for (const char* p = psz; *p; ++p)
    {
        if (*p != '%') continue;
        if (p[1] == '\0') break;
        ++p;
        if (*p < '1' || *p > '9') continue;  // "%%", "%n", "%0" and the like take no argument
        if (p[1] >= '0' && p[1] <= '9') ++p;
        if (p[1] != '!') continue;
        p += 2;
        while (*p && *p != '!' && std::strchr("-+ #0123456789.", *p)) ++p;
        if (*p != 's' || p[1] != '!') return false;
        ++p;
    }
    return true;
}

bool FormatQuestion(const CVxCiString& sTemplate, const char* pszName, CUniqueLocalText& question)
{
    // Every insert the template can name is the friendly name.
    DWORD_PTR aArgs[kMaxInserts];
    for (size_t i = 0; i < kMaxInserts; ++i) aArgs[i] = reinterpret_cast<DWORD_PTR>(pszName);
    const bool fSafe = IsSafeTemplate(sTemplate.c_str());
    if (!fSafe)
    {
        g_TraceLog.TraceFailure("Question template refused: an insert takes an argument other than the name\n");
        SetLastError(ERROR_INVALID_PARAMETER);
    }
    if (fSafe &&
        FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                       sTemplate.c_str(), 0, 0, reinterpret_cast<LPSTR>(question.Put()), 0,
                       reinterpret_cast<va_list*>(aArgs)) != 0 &&
        question.Get())
        return true;
    const DWORD dwError = GetLastError();
    g_TraceLog.TraceFailure(
        "Failed to get the IDS_ASK_TO_MAKE_DEFAULT_PRINTER string to show the set default printer question\n");
    CUniqueLocalText errorText;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, NULL,
                   dwError, 0, reinterpret_cast<LPSTR>(errorText.Put()), 0, NULL);
    g_TraceLog.TraceFailure("FormatMessage error = %s", errorText.Get() ? errorText.Get() : "");
    return false;
}

}  // namespace

bool BindDefaultPrinterCalls(HMODULE hSpooler, CDefaultPrinterCalls& calls)
{
    calls.pfnGet = NULL;
    calls.pfnSet = NULL;
    if (hSpooler)
    {
        calls.pfnGet = reinterpret_cast<BOOL(WINAPI*)(LPSTR, LPDWORD)>(
            reinterpret_cast<void*>(GetProcAddress(hSpooler, "GetDefaultPrinterA")));
        calls.pfnSet = reinterpret_cast<BOOL(WINAPI*)(LPCSTR)>(
            reinterpret_cast<void*>(GetProcAddress(hSpooler, "SetDefaultPrinterA")));
    }
    if (calls.pfnGet && calls.pfnSet) return true;
    calls.pfnGet = NULL;
    calls.pfnSet = NULL;
    g_TraceLog.TraceFailure("Binding GetDefaultPrinterA and SetDefaultPrinterA failed\n");
    return false;
}

namespace
{

bool IsAlreadyDefault(const CDefaultPrinterCalls& calls, const char* pszName)
{
    char szDefault[kDefaultNameLength + 1] = "";
    DWORD cchDefault = sizeof(szDefault);
    return calls.pfnGet(szDefault, &cchDefault) && lstrcmpiA(szDefault, pszName) == 0;
}

}  // namespace

bool AskToMakeDefaultPrinter(const CVxCiString& sFriendlyName)
{
    const char* pszName = sFriendlyName.c_str();
    g_TraceLog.TraceAuto("AskToMakeDefaultPrinter(%s)", pszName);
    CVxCiString sAutorun;
    if (!GetAutorunInfPath(sAutorun, "\\..\\..\\"))
    {
        g_TraceLog.TraceFailure("%s failed\n", "Cannot get autorun.inf");
        return false;
    }
    if (!g_Factory.Init(sAutorun.c_str(), FACTORY_LOAD_MODELS, NULL))
    {
        g_TraceLog.TraceFailure("%s failed\n", "Cannot initialize CFactory object");
        return false;
    }
    CPrinter printer;
    if (!printer.Init(pszName, 99))
    {
        g_TraceLog.TraceFailure("%s failed\n", "Cannot initialize CPrinter object");
        return false;
    }
    const CDeviceModel& model = g_Factory.FactorADeviceModel(printer.GetModelName());
    if (!model.IsSupported())
    {
        g_TraceLog.TraceAuto("%s is not a supported device model", pszName);
        return false;
    }
    char szValue[MAX_PATH] = "";
    const WORD wLangId = static_cast<WORD>(GetSystemDefaultLangID() | 0x0400);
    const bool fAsk = GetValueByLang(model.GetDatFileName(), model.GetSectionName(), kAskKey, szValue,
                                     sizeof(szValue), wLangId) &&
                      IsYes(szValue);
    g_TraceLog.TraceAuto("AskToMakeDefaultPrinter(%s) return %d", pszName, fAsk ? 1 : 0);
    return fAsk;
}

void DefaultPrinter(const CVxCiString& sFriendlyName)
{
    try
    {
        g_TraceLog.TraceAuto("Entering DefaultPrinter(%s)\n", sFriendlyName.c_str());
        if (!AskToMakeDefaultPrinter(sFriendlyName)) return;
        g_TraceLog.TraceAuto("AskToMakeDefault is true\n");
        // The spooler's calls get the name from a fixed buffer: a longer name is not offered
        // rather than cut to another printer's name.
        if (sFriendlyName.size() >= kMaxDefaultPrinterName)
        {
            g_TraceLog.TraceFailure("Printer name of %u bytes is too long to offer as the default printer\n",
                                    static_cast<unsigned>(sFriendlyName.size()));
            return;
        }
        char szName[kMaxDefaultPrinterName];
        std::memcpy(szName, sFriendlyName.c_str(), sFriendlyName.size() + 1);

        // The program imports other spooler functions, so the library is loaded already.
        CDefaultPrinterCalls calls;
        if (!BindDefaultPrinterCalls(GetModuleHandleA("winspool.drv"), calls)) return;
        if (IsAlreadyDefault(calls, szName))
        {
            g_TraceLog.TraceAuto("Installing printer is already the default printer\n");
            return;
        }
        CVxCiString sTemplate;
        if (!LoadOfferString(IDS_ASK_TO_MAKE_DEFAULT_PRINTER, sTemplate)) return;
        CUniqueLocalText question;
        if (!FormatQuestion(sTemplate, szName, question)) return;
        CVxCiString sCaption;
        if (!LoadOfferString(IDS_SET_DEFAULT_PRINTER, sCaption)) return;

        const int iAnswer = ShowMessageBox(NULL, question.Get(), sCaption.c_str(), kQuestionStyle, 0);
        g_TraceLog.Trace(TRACE_GENERAL, "Default printer question answered %s\n", iAnswer == IDYES ? "Yes" : "No");
        if (iAnswer != IDYES) return;
        if (!calls.pfnSet(szName))
        {
            g_InstallLog.LogError(0, InstallLogSourcePath("..\\pdi\\pdi_install.cpp").c_str(), __LINE__,
                                  "Failed to set default printer\n");
            g_TraceLog.TraceFailure("Failed to set default printer for %s\n", szName);
        }
    }
    catch (...)
    {
        g_TraceLog.TraceFailure("%s failed\n", "DefaultPrinter: out of memory");
    }
}
