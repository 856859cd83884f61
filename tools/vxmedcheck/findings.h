// What the checker reports: findings with a place, a severity and a stable code, written as
// text lines or as JSON, and the exit code they give.
#ifndef VXMEDCHECK_FINDINGS_H
#define VXMEDCHECK_FINDINGS_H

#include <cstdio>
#include <string>
#include <vector>

namespace medcheck
{

enum ESeverity
{
    eNote,     // what the PDI will do; never changes the exit code
    eWarning,  // the PDI works, but probably not as the author meant
    eError     // the PDI fails, or skips a patch or the installer it was meant to run
};

struct Finding
{
    std::string sFile;  // relative to the medium's root; empty for the medium as a whole
    unsigned nLine;     // 0 for the file as a whole
    ESeverity eSeverity;
    std::string sCode;
    std::string sRelease;   // for the per-release findings
    std::string sLanguage;  // "0x0409", for the per-release findings
    std::string sText;
};

class FindingList
{
public:
    void Add(ESeverity eSeverity, const std::string& sFile, unsigned nLine, const char* pszCode,
             const std::string& sText);
    // Findings added from now on name this release and language (empty: none).
    void SetScope(const std::string& sRelease, const std::string& sLanguage);

    const std::vector<Finding>& All() const { return m_findings; }
    unsigned Count(ESeverity eSeverity) const;
    // 0 clean, 1 warnings only, 2 errors.
    int ExitCode() const;

private:
    std::vector<Finding> m_findings;
    std::string m_sRelease;
    std::string m_sLanguage;
};

// printf into a string of any length.
std::string Format(const char* pszFormat, ...);

const char* SeverityName(ESeverity eSeverity);
// "autorun.inf:12", "autorun.inf" for the file as a whole, "medium" for the medium.
std::string Place(const Finding& finding);
// "autorun.inf:12: warning [key-repeated] text", a line per error and warning (and per note
// when fNotes), then the table of what the PDI does per release and language, then a summary
// line with the counts.
void PrintText(std::FILE* pOut, const FindingList& findings, const std::string& sTable, bool fNotes);
// One JSON object: the medium, the findings, the counts. ANSI text is escaped as \u sequences.
void PrintJson(std::FILE* pOut, const std::string& sMedium, const FindingList& findings);

}  // namespace medcheck

#endif
