#include "findings.h"

#include <windows.h>

#include <cstdarg>

namespace medcheck
{

namespace
{

// The ANSI text as JSON string content: printable ASCII as it is, the rest as \u escapes of
// its UTF-16 form, so the output is ASCII whatever the code page.
std::string JsonString(const std::string& sText)
{
    std::string sOut = "\"";
    std::vector<WCHAR> wide(sText.size() + 1);
    const int cwch = sText.empty() ? 0
                                   : MultiByteToWideChar(CP_ACP, 0, sText.data(), static_cast<int>(sText.size()),
                                                         wide.data(), static_cast<int>(wide.size()));
    for (int i = 0; i < cwch; ++i)
    {
        const unsigned ch = wide[static_cast<size_t>(i)];
        if (ch == '"') sOut += "\\\"";
        else if (ch == '\\') sOut += "\\\\";
        else if (ch >= 0x20 && ch < 0x7F) sOut += static_cast<char>(ch);
        else sOut += Format("\\u%04x", ch);
    }
    return sOut + "\"";
}

}  // namespace

std::string Format(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    std::vector<char> buffer(256);
    for (;;)
    {
        va_list copy;
        va_copy(copy, args);
        const int cch = std::vsnprintf(buffer.data(), buffer.size(), pszFormat, copy);
        va_end(copy);
        if (cch < 0)
        {
            buffer[0] = '\0';
            break;
        }
        if (static_cast<size_t>(cch) < buffer.size()) break;
        buffer.resize(static_cast<size_t>(cch) + 1);
    }
    va_end(args);
    return std::string(buffer.data());
}

std::string Place(const Finding& finding)
{
    if (finding.sFile.empty()) return "medium";
    if (finding.nLine == 0) return finding.sFile;
    return Format("%s:%u", finding.sFile.c_str(), finding.nLine);
}

const char* SeverityName(ESeverity eSeverity)
{
    switch (eSeverity)
    {
    case eError: return "error";
    case eWarning: return "warning";
    default: return "note";
    }
}

void FindingList::Add(ESeverity eSeverity, const std::string& sFile, unsigned nLine, const char* pszCode,
                      const std::string& sText)
{
    Finding finding;
    finding.sFile = sFile;
    finding.nLine = nLine;
    finding.eSeverity = eSeverity;
    finding.sCode = pszCode;
    finding.sRelease = m_sRelease;
    finding.sLanguage = m_sLanguage;
    finding.sText = sText;
    m_findings.push_back(finding);
}

void FindingList::SetScope(const std::string& sRelease, const std::string& sLanguage)
{
    m_sRelease = sRelease;
    m_sLanguage = sLanguage;
}

unsigned FindingList::Count(ESeverity eSeverity) const
{
    unsigned n = 0;
    for (const Finding& finding : m_findings)
    {
        if (finding.eSeverity == eSeverity) ++n;
    }
    return n;
}

int FindingList::ExitCode() const
{
    if (Count(eError) > 0) return 2;
    return Count(eWarning) > 0 ? 1 : 0;
}

void PrintText(std::FILE* pOut, const FindingList& findings, const std::string& sTable, bool fNotes)
{
    for (const Finding& finding : findings.All())
    {
        if (finding.eSeverity == eNote && !fNotes) continue;
        std::string sScope;
        if (!finding.sRelease.empty()) sScope = finding.sRelease + " " + finding.sLanguage + ": ";
        std::fprintf(pOut, "%s: %s [%s] %s%s\n", Place(finding).c_str(), SeverityName(finding.eSeverity),
                     finding.sCode.c_str(), sScope.c_str(), finding.sText.c_str());
    }
    std::fputs(sTable.c_str(), pOut);
    const unsigned nNotes = findings.Count(eNote);
    std::fprintf(pOut, "%u error(s), %u warning(s), %u note(s)%s\n", findings.Count(eError), findings.Count(eWarning),
                 nNotes, nNotes && !fNotes ? " (--verbose shows them)" : "");
}

void PrintJson(std::FILE* pOut, const std::string& sMedium, const FindingList& findings)
{
    std::fprintf(pOut, "{\"medium\": %s, \"errors\": %u, \"warnings\": %u, \"findings\": [", JsonString(sMedium).c_str(),
                 findings.Count(eError), findings.Count(eWarning));
    const char* pszSeparator = "\n";
    for (const Finding& finding : findings.All())
    {
        std::fprintf(pOut,
                     "%s  {\"file\": %s, \"line\": %u, \"severity\": \"%s\", \"code\": %s, \"release\": %s, "
                     "\"language\": %s, \"text\": %s}",
                     pszSeparator, JsonString(finding.sFile).c_str(), finding.nLine, SeverityName(finding.eSeverity),
                     JsonString(finding.sCode).c_str(), JsonString(finding.sRelease).c_str(),
                     JsonString(finding.sLanguage).c_str(), JsonString(finding.sText).c_str());
        pszSeparator = ",\n";
    }
    std::fprintf(pOut, "\n]}\n");
}

}  // namespace medcheck
