// Every line the PDI can write about a step or a failure, with what it means in plain words.
#ifndef VXLOGVIEW_EXPLANATIONS_H
#define VXLOGVIEW_EXPLANATIONS_H

#include <cstddef>
#include <string>

#include "run_steps.h"

namespace logview
{

enum LineOrigin
{
    eOriginCondition,   // install log: the text after "Error --> ", exactly as the source spells it
    eOriginInstallLog,  // install log: a message, matched against its printf format
    eOriginTrace        // trace: a message, matched against its printf format ("\n" at its end ignored)
};

enum LineWeight
{
    eWeightStep,            // an ordinary line of a step
    eWeightDetail,          // a low-level check; whether it matters depends on the line that follows
    eWeightProblem,         // something failed, the run went on
    eWeightFatal,           // the run failed here
    eWeightConsequence,     // a caller reporting a failure logged before it
    eWeightProblemIfNonZero,  // a problem when the line's last number is not 0 (an exit code)
    eWeightProblemIfZero      // a problem when the line's last number is 0 (a failed call)
};

struct Explanation
{
    LineOrigin eOrigin;
    const char* pszText;    // condition text or printf format
    const char* pszSource;  // the source file that writes it, when the text alone is ambiguous; else null
    LineWeight eWeight;
    StepId eStep;
    const char* pszMeaning;
};

// The whole table, for the check that it knows every line of the PDI's sources.
const Explanation* ExplanationTable(size_t* pcEntries);

// The entry for a line, or null. pszSource is the file named in an install-log error line
// ("pdi_install.cpp"), or null.
const Explanation* FindExplanation(LineOrigin eOrigin, const std::string& sText, const char* pszSource);

// The entry whose condition text or format is exactly sText, or null: how the PDI's sources
// spell what they log.
const Explanation* FindEntryByText(LineOrigin eOrigin, const std::string& sText, const char* pszSource);

// True when sText is what the printf format pszFormat can print (%s matches any text).
bool MatchesFormat(const char* pszFormat, const std::string& sText);

// The line's weight with its numbers taken into account (the exit code of a patch, for one).
LineWeight EffectiveWeight(const Explanation& entry, const std::string& sText);

}  // namespace logview

#endif
