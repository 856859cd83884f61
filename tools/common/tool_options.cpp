#include "tool_options.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace vxtool
{

namespace
{

const char kHelp[] = "--help";
const char kVersion[] = "--version";

bool IsOption(const char* pszArgument) { return std::strncmp(pszArgument, "--", 2) == 0; }

bool IsGiven(int argc, char** argv, const char* pszOption)
{
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], pszOption) == 0) return true;
    }
    return false;
}

// The table's index of the option named by the argument up to its "=", or cOptions.
size_t FindOption(const ToolSpec& tool, const std::string& sName)
{
    for (size_t i = 0; i < tool.cOptions; ++i)
    {
        if (sName == tool.pOptions[i].pszName) return i;
    }
    return tool.cOptions;
}

// "  --html <report.html>   text", the text's further lines indented to its column.
void AppendOptionLines(const char* pszName, const char* pszValue, const char* pszHelp, std::string* psText)
{
    const size_t kColumn = 26;
    std::string sLead = std::string("  ") + pszName + (pszValue ? std::string(" ") + pszValue : std::string());
    sLead += sLead.size() + 1 < kColumn ? std::string(kColumn - sLead.size(), ' ') : std::string(" ");
    *psText += sLead;
    for (const char* p = pszHelp; *p; ++p)
    {
        *psText += *p;
        if (*p == '\n') *psText += std::string(kColumn, ' ');
    }
    *psText += '\n';
}

void Print(std::FILE* pStream, const std::string& sText)
{
    std::fwrite(sText.data(), 1, sText.size(), pStream);
    std::fflush(pStream);
}

}  // namespace

bool ParsedCommandLine::Has(size_t iOption) const { return iOption < m_given.size() && m_given[iOption]; }

const std::string& ParsedCommandLine::Value(size_t iOption) const
{
    static const std::string sNone;
    return Has(iOption) ? m_values[iOption] : sNone;
}

bool ParseCommandLine(const ToolSpec& tool, int argc, char** argv, ParsedCommandLine* pLine, std::string* psProblem)
{
    pLine->m_given.assign(tool.cOptions, false);
    pLine->m_values.assign(tool.cOptions, std::string());
    pLine->m_operands.clear();
    for (int i = 1; i < argc; ++i)
    {
        const std::string sArgument = argv[i];
        if (!IsOption(argv[i]))
        {
            if (pLine->m_operands.size() == tool.cMaxOperands)
            {
                *psProblem = "cannot use \"" + sArgument + "\": too many arguments";
                return false;
            }
            pLine->m_operands.push_back(sArgument);
            continue;
        }
        const size_t iEquals = sArgument.find('=');
        const std::string sName = sArgument.substr(0, iEquals);
        const size_t iOption = FindOption(tool, sName);
        if (iOption == tool.cOptions)
        {
            *psProblem = "unknown option \"" + sName + "\"";
            return false;
        }
        const OptionSpec& option = tool.pOptions[iOption];
        if (!option.pszValue && iEquals != std::string::npos)
        {
            *psProblem = sName + " takes no value";
            return false;
        }
        if (option.pszValue && iEquals == std::string::npos && i + 1 >= argc)
        {
            *psProblem = sName + " needs a value " + option.pszValue;
            return false;
        }
        pLine->m_given[iOption] = true;
        if (option.pszValue) pLine->m_values[iOption] = iEquals != std::string::npos ? sArgument.substr(iEquals + 1) : argv[++i];
    }
    return true;
}

std::string UsageText(const ToolSpec& tool)
{
    std::string sText = std::string("usage: ") + tool.pszName + " ";
    for (const char* p = tool.pszSynopsis; *p; ++p)
    {
        sText += *p;
        if (*p == '\n') sText += std::string("       ") + tool.pszName + " ";
    }
    sText += "\n";
    if (tool.pszOperands) sText += tool.pszOperands;
    sText += "options:\n";
    for (size_t i = 0; i < tool.cOptions; ++i)
        AppendOptionLines(tool.pOptions[i].pszName, tool.pOptions[i].pszValue, tool.pOptions[i].pszHelp, &sText);
    AppendOptionLines(kHelp, nullptr, "print this text", &sText);
    AppendOptionLines(kVersion, nullptr, "print the program's version", &sText);
    return sText + tool.pszEpilogue;
}

std::string ProgramVersion()
{
    char szPath[MAX_PATH + 1] = "";
    const DWORD cchPath = GetModuleFileNameA(NULL, szPath, MAX_PATH);
    if (cchPath == 0 || cchPath >= MAX_PATH) return "unknown";
    DWORD dwHandle = 0;
    const DWORD cbInfo = GetFileVersionInfoSizeA(szPath, &dwHandle);
    if (cbInfo == 0) return "unknown";
    std::vector<char> info(cbInfo);
    void* pValue = NULL;
    UINT cbValue = 0;
    if (!GetFileVersionInfoA(szPath, 0, cbInfo, info.data()) ||
        !VerQueryValueA(info.data(), const_cast<char*>("\\"), &pValue, &cbValue) || cbValue < sizeof(VS_FIXEDFILEINFO))
        return "unknown";
    const VS_FIXEDFILEINFO* pFixed = static_cast<const VS_FIXEDFILEINFO*>(pValue);
    char szVersion[48];
    std::snprintf(szVersion, sizeof(szVersion), "%lu.%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(pFixed->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(pFixed->dwFileVersionMS)), static_cast<unsigned long>(HIWORD(pFixed->dwFileVersionLS)),
                  static_cast<unsigned long>(LOWORD(pFixed->dwFileVersionLS)));
    return szVersion;
}

bool ReadCommandLine(const ToolSpec& tool, int argc, char** argv, ParsedCommandLine* pLine, int* piExitCode)
{
    *piExitCode = 0;
    if (IsGiven(argc, argv, kHelp))
    {
        Print(stdout, UsageText(tool));
        return false;
    }
    if (IsGiven(argc, argv, kVersion))
    {
        Print(stdout, std::string(tool.pszName) + " " + ProgramVersion() + "\n");
        return false;
    }
    std::string sProblem;
    if (ParseCommandLine(tool, argc, argv, pLine, &sProblem)) return true;
    *piExitCode = UsageError(tool, sProblem);
    return false;
}

int UsageError(const ToolSpec& tool, const std::string& sProblem)
{
    Print(stderr, std::string(tool.pszName) + ": " + sProblem + "\n" + UsageText(tool));
    return kExitUsage;
}

}  // namespace vxtool
