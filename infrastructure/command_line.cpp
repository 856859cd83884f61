#include "infrastructure/command_line.h"

#include <cstdlib>
#include <cstring>

#include "diag/trace_log.h"
#include "infrastructure/media_checks.h"
#include "infrastructure/qualified_values.h"

namespace
{

// Whether the process command line has been traced; a given text clears it.
volatile LONG g_lProcessCommandLineTraced = 0;

const unsigned char kEnDash = 0x96;  // code page 1252
const WORD kSystemDefaultLanguage = 0x800;
const DWORD kLogValueSize = 260;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsLeadByte(const char* p) { return IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]; }

// The program token: up to the closing quote when it starts with one, else up to a blank.
const char* SplitProgram(const char* p, CVxCiString* psToken)
{
    const bool fQuoted = *p == '"';
    if (fQuoted) ++p;
    while (*p && (fQuoted ? *p != '"' : !IsBlank(*p)))
    {
        const size_t cb = IsLeadByte(p) ? 2 : 1;
        psToken->append(p, cb);
        p += cb;
    }
    if (fQuoted && *p == '"') ++p;
    return p;
}

const char* SplitArgument(const char* p, CVxCiString* psToken)
{
    bool fInQuotes = false;
    while (*p && (fInQuotes || !IsBlank(*p)))
    {
        if (*p == '\\')
        {
            size_t cBackslashes = 0;
            while (p[cBackslashes] == '\\') ++cBackslashes;
            if (p[cBackslashes] != '"')
            {
                psToken->append(cBackslashes, '\\');
            }
            else
            {
                psToken->append(cBackslashes / 2, '\\');
                if (cBackslashes % 2)
                {
                    *psToken += '"';
                    ++p;  // the escaped quote
                }
            }
            p += cBackslashes;
            continue;
        }
        if (*p == '"')
        {
            if (fInQuotes && p[1] == '"')
            {
                *psToken += '"';
                p += 2;
                fInQuotes = false;
            }
            else
            {
                fInQuotes = !fInQuotes;
                ++p;
            }
            continue;
        }
        const size_t cb = IsLeadByte(p) ? 2 : 1;
        psToken->append(p, cb);
        p += cb;
    }
    return p;
}

CVxCiStringList ProcessArguments()
{
    CVxCiStringList tokens;
    for (int i = 0; __argv && i < __argc; ++i) tokens.push_back(CVxCiString(__argv[i] ? __argv[i] : ""));
    return tokens;
}

// An en dash that is the lead byte of a double-byte character starts a value, not an option.
bool IsOptionToken(const CVxCiString& sToken)
{
    if (sToken.empty()) return false;
    const unsigned char c = static_cast<unsigned char>(sToken[0]);
    if (c == '-' || c == '/') return true;
    return c == kEnDash && !IsDBCSLeadByte(c);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The trace log is a static object of another unit: one not yet constructed is still zero.
bool TraceLogConstructed() { return !g_TraceLog.GetPath().empty(); }

DWORD LogValueOf(const char* pszFile, const char* pszSection)
{
    char szValue[kLogValueSize] = "";
    if (!GetValueByLang(pszFile, pszSection, "Log", szValue, sizeof(szValue), kSystemDefaultLanguage)) szValue[0] = '\0';
    return ParseNumber(szValue);
}

// A path without a drive or network part gets the program's directory (when it has a directory
// part) or the Windows directory in front; the result must name an existing file.
bool ResolveExistingPath(CVxCiString& sPath)
{
    CVxCiString sCandidate = sPath;
    if (!sCandidate.empty() && sCandidate.find(':') == CVxCiString::npos && sCandidate.find("\\\\") == CVxCiString::npos)
    {
        char szDirectory[MAX_PATH];
        if (FindSingleByteChar(sCandidate.c_str(), '\\'))
        {
            if (!GetModuleFolder(szDirectory)) return false;
        }
        else if (!GetWindowsFolder(szDirectory, sizeof(szDirectory)) ||
                 !AddTrailingBackslash(szDirectory, sizeof(szDirectory)))
        {
            return false;
        }
        sCandidate.insert(0, szDirectory);
    }
    char szFull[MAX_PATH];
    const DWORD cch = GetFullPathNameA(sCandidate.c_str(), sizeof(szFull), szFull, NULL);
    if (cch == 0 || cch >= sizeof(szFull)) return false;
    if (GetFileAttributesA(szFull) == INVALID_FILE_ATTRIBUTES) return false;
    sPath = szFull;
    return true;
}

}  // namespace

CVxCiStringList SplitCommandLine(const char* pszCommandLine)
{
    CVxCiStringList tokens;
    if (!pszCommandLine) return tokens;
    CVxCiString sToken;
    const char* p = SplitProgram(pszCommandLine, &sToken);
    tokens.push_back(sToken);
    for (;;)
    {
        while (IsBlank(*p)) ++p;
        if (!*p) break;
        sToken.clear();
        p = SplitArgument(p, &sToken);
        tokens.push_back(sToken);
    }
    return tokens;
}

CGenericCommandLine::CGenericCommandLine(const char* pszCommandLine) { Init(pszCommandLine); }

void CGenericCommandLine::Init(const char* pszCommandLine)
{
    try
    {
        g_TraceLog.TraceAuto("CGenericCommandLine::Init () entered.  Initializing command line\n");
        m_options.clear();
        m_sPendingOption.clear();
        m_sParsedCommandLine.clear();
        Fill(pszCommandLine ? SplitCommandLine(pszCommandLine) : ProcessArguments());

        if (!pszCommandLine)
        {
            if (InterlockedExchange(&g_lProcessCommandLineTraced, 1) != 0) return;
            if (!TraceLogConstructed()) InterlockedExchange(&g_lProcessCommandLineTraced, 0);
        }
        else
        {
            InterlockedExchange(&g_lProcessCommandLineTraced, 0);
        }
        g_TraceLog.Trace(pszCommandLine ? TRACE_DETAIL : TRACE_KEY, "Parsed command line: %s\n",
                         m_sParsedCommandLine.c_str());
    }
    catch (...)
    {
        // Out of memory: the table keeps what it had taken.
    }
}

void CGenericCommandLine::Fill(const CVxCiStringList& tokens)
{
    bool fPending = false;  // an option named by a lone dash has an empty name
    for (size_t i = 0; i < tokens.size(); ++i)
    {
        if (i > 0) m_sParsedCommandLine += ' ';
        m_sParsedCommandLine += '"';
        m_sParsedCommandLine += tokens[i];
        m_sParsedCommandLine += '"';
        if (i == 0) continue;
        if (IsOptionToken(tokens[i]))
        {
            m_sPendingOption = tokens[i].substr(1);
            m_options[m_sPendingOption].clear();
            fPending = true;
        }
        else if (fPending)
        {
            m_options[m_sPendingOption] = tokens[i];
            m_sPendingOption.clear();
            fPending = false;
        }
    }
}

unsigned CGenericCommandLine::GetOption(const char* pszName, CVxCiString& sValue) const
{
    const char* pszShown = pszName ? pszName : "(null)";
    g_TraceLog.TraceAuto("CGenericCommandLine::GetOption () entered.  Looking for %s\n", pszShown);
    unsigned uFound = 0;
    if (pszName)
    {
        std::map<CVxCiString, CVxCiString>::const_iterator it = m_options.find(CVxCiString(pszName));
        if (it != m_options.end())
        {
            sValue = it->second;
            uFound = 1;
        }
    }
    g_TraceLog.TraceAuto("CGenericCommandLine::GetOption () exiting.  %s %s.  val = %s\n", pszShown,
                         uFound ? "given on command line" : "NOT given on command line", sValue.c_str());
    return uFound;
}

DWORD ParseNumber(const char* pszText)
{
    if (!pszText) return 0;
    if (std::strlen(pszText) >= 3 && pszText[0] == '0' && pszText[1] == 'x')
    {
        DWORD dwValue = 0;
        for (const char* p = pszText + 2; *p; ++p)
        {
            const int nDigit = HexDigit(*p);
            if (nDigit >= 0) dwValue = dwValue * 16 + static_cast<DWORD>(nDigit);
        }
        return dwValue;
    }
    return static_cast<DWORD>(std::strtol(pszText, NULL, 10));
}

CDebugSettings::CDebugSettings(const char* pszCommandLine) : m_commandLine(pszCommandLine) {}

CDebugSettings::~CDebugSettings() {}

DWORD CDebugSettings::GetTraceMask(const char* pszDataFilePath)
{
    DWORD dwMask = 0;
    CVxCiString sValue;
    if (m_commandLine.GetOption("log", sValue)) dwMask = ParseNumber(sValue.c_str());
    if (pszDataFilePath)
    {
        dwMask |= LogValueOf(pszDataFilePath, "Version");
    }
    else
    {
        CVxCiString sDataFile;
        if (GetDataFilePath(sDataFile, TRUE, "\\..\\")) dwMask |= LogValueOf(sDataFile.c_str(), "Version");
    }
    dwMask |= LogValueOf("vxzdbginfs.ini", "debugger");
    return dwMask;
}

BOOL CDebugSettings::GetDataFilePath(CVxCiString& sPath, BOOL fResolve, const char* pszRelative)
{
    try
    {
        CVxCiString sValue;
        if (m_commandLine.GetOption("f", sValue))
        {
            sPath = sValue;
        }
        else if (!GetAutorunInfPath(sPath, pszRelative))
        {
            sPath.clear();
            return FALSE;
        }
        if (fResolve && !ResolveExistingPath(sPath))
        {
            sPath.clear();
            return FALSE;
        }
        return TRUE;
    }
    catch (...)
    {
        sPath.clear();
        return FALSE;
    }
}
