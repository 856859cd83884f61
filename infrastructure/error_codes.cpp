#include "infrastructure/error_codes.h"

#include <memory>
#include <new>
#include <vector>

#include "vx_owners.h"

const char* const g_aszErrorNames[ERR_NAME_COUNT] = {
    "ERR_NOERROR",          "ERR_UNKNOWN",         "ERR_MEMORY",
    "ERR_BADPARAMETER",     "ERR_INVALIDPOINTER",  "ERR_PRINTERNOTSUPPORTED",
    "ERR_PORTNOTSUPPORTED", "ERR_CONNECTIONLOST",  "ERR_PRINTERNOTFOUND",
    "ERR_BUFFEROVERFLOW",   "ERR_RESOURCEUNAVAILABLE", "ERR_TIMEOUT",
    "ERR_READONLY",         "ERR_ACTIONNOTNOW",    "ERR_RESOURCENOTFOUND",
    "ERR_MUTEX",            "ERR_COMMUNITYNAME",   "ERR_STLEXCEPTION",
    "ERR_REMOVEPRINTER",    "ERR_ERRORNOTFOUND",   "ERR_ERRORMASKED"};

namespace
{

const DWORD kFormatFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
const LANGID kNeutralDefault = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
const int kCaptionLength = MAX_PATH;

// The system's text for dwError in the system's language, else in the neutral default.
bool FormatSystemText(DWORD dwError, CUniqueLocalText& text)
{
    for (LANGID wLangId : {GetSystemDefaultLangID(), kNeutralDefault})
    {
        if (FormatMessageA(kFormatFlags, NULL, dwError, wLangId, reinterpret_cast<LPSTR>(text.Put()), 0, NULL) != 0 &&
            text.Get() != NULL)
            return true;
    }
    return false;
}

bool IsRightToLeft(LANGID wLangId)
{
    return wLangId == MAKELANGID(LANG_ARABIC, SUBLANG_ARABIC_SAUDI_ARABIA) ||
           wLangId == MAKELANGID(LANG_HEBREW, SUBLANG_HEBREW_ISRAEL);
}

bool IsRightToLeftPrimary(LANGID wLangId)
{
    return PRIMARYLANGID(wLangId) == LANG_ARABIC || PRIMARYLANGID(wLangId) == LANG_HEBREW;
}

// Each thread's text of GetErrorString, made on its first call and kept until the process
// ends. A TLS slot rather than thread_local: libstdc++'s thread_local with a destructor
// imports a function that Windows before XP lacks.
class CThreadTexts
{
public:
    CThreadTexts() : m_dwSlot(TlsAlloc()) { InitializeCriticalSection(&m_lock); }
    ~CThreadTexts()
    {
        for (CVxCiString* psText : m_texts) delete psText;
        if (m_dwSlot != TLS_OUT_OF_INDEXES) TlsFree(m_dwSlot);
        DeleteCriticalSection(&m_lock);
    }

    // This thread's text, or NULL without a slot or memory. Keeps the thread's last error.
    CVxCiString* Get()
    {
        if (m_dwSlot == TLS_OUT_OF_INDEXES) return NULL;
        const DWORD dwError = GetLastError();
        CVxCiString* psText = static_cast<CVxCiString*>(TlsGetValue(m_dwSlot));
        if (!psText) psText = Make();
        SetLastError(dwError);
        return psText;
    }

private:
    CThreadTexts(const CThreadTexts&) = delete;
    CThreadTexts& operator=(const CThreadTexts&) = delete;

    CVxCiString* Make()
    {
        std::unique_ptr<CVxCiString> text(new (std::nothrow) CVxCiString);
        if (!text) return NULL;
        bool fKept = false;
        {
            CCriticalSectionLock lock(m_lock);
            try
            {
                m_texts.push_back(text.get());
                fKept = true;
            }
            catch (...)
            {
            }
        }
        if (!fKept || !TlsSetValue(m_dwSlot, text.get())) return NULL;
        return text.release();
    }

    DWORD m_dwSlot;
    CRITICAL_SECTION m_lock;
    std::vector<CVxCiString*> m_texts;
};

CVxCiString* ThreadText()
{
    // Made on first use: a process-wide object's constructor may already ask for a text.
    static CThreadTexts s_texts;
    return s_texts.Get();
}

}  // namespace

const char* GetErrorString(LONG lCode)
{
    if (lCode == ERR_NOERROR) return g_aszErrorNames[0];
    if (lCode <= ERR_UNKNOWN && lCode >= ERR_ERRORMASKED) return g_aszErrorNames[1 + (ERR_UNKNOWN - lCode)];

    // One text per thread, so that a thread's text cannot change under it while another
    // thread asks for a code of its own.
    CVxCiString* psText = ThreadText();
    if (!psText)
    {
        SetLastError(static_cast<DWORD>(lCode));
        return "";  // no memory for this thread's text: no text rather than a shared one
    }
    CVxCiString& sText = *psText;
    SetLastError(static_cast<DWORD>(lCode));
    try
    {
        sText.clear();
        sText.reserve(MAX_PATH);
        GetLastErrorMsg(sText);
    }
    catch (...)
    {
        sText.clear();  // out of memory: no text rather than an exception across the export
    }
    SetLastError(static_cast<DWORD>(lCode));
    return sText.c_str();
}

LONG GetLastErrorMsg(CVxCiString& sText)
{
    const DWORD dwError = GetLastError();
    {
        CUniqueLocalText text;
        if (FormatSystemText(dwError, text))
        {
            try
            {
                sText = text.Get();
            }
            catch (...)
            {
                // The caller's string stays as it was.
            }
        }
    }
    SetLastError(dwError);
    return static_cast<LONG>(dwError);
}

LONG GetLastErrorMsg(UINT uStringId, HINSTANCE hModule)
{
    const DWORD dwError = GetLastError();
    if (dwError == 0) return 0;

    char szCaption[kCaptionLength] = "";
    if (LoadStringA(hModule, uStringId, szCaption, kCaptionLength) <= 0) szCaption[0] = '\0';
    {
        CUniqueLocalText text;
        if (FormatSystemText(dwError, text)) ShowMessageBox(NULL, text.Get(), szCaption, MB_ICONINFORMATION, 0);
    }
    SetLastError(dwError);
    return static_cast<LONG>(dwError);
}

UINT MessageBoxStyleFor(UINT uStyle, LANGID wLangId, LANGID wSystemLangId)
{
    const bool fRightToLeft = wLangId != 0 ? IsRightToLeft(wLangId) : IsRightToLeftPrimary(wSystemLangId);
    return fRightToLeft ? (uStyle | MB_RTLREADING) : uStyle;
}

int ShowMessageBox(HWND hOwner, const char* pszText, const char* pszCaption, UINT uStyle, LANGID wLangId)
{
    const UINT uFinalStyle = MessageBoxStyleFor(uStyle, wLangId, wLangId != 0 ? wLangId : GetSystemDefaultLangID());
    return MessageBoxA(hOwner, pszText, pszCaption, uFinalStyle);
}
