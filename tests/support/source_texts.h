// The texts that the PDI's sources hand to the install log and the trace, read from the source
// files themselves: condition texts and message formats, as the compiler sees them.
#ifndef TESTS_SUPPORT_SOURCE_TEXTS_H
#define TESTS_SUPPORT_SOURCE_TEXTS_H

#include <string>
#include <vector>

namespace vxtest
{

enum SourceTextKind
{
    eTextCondition,   // LOG_CONDITION_FAILED's argument
    eTextLogFormat,   // the format of LogMessage or LogError
    eTextTraceFormat  // the format of Trace, TraceAuto or TraceFailure ("%s failed\n" also with its literal argument put in)
};

struct SourceText
{
    SourceTextKind eKind;
    std::string sText;  // the string literals decoded and joined as the compiler joins them
    std::string sFile;  // the file name without folders
};

// Every call in the .cpp and .h files of the folder (a Windows path) whose argument is made of
// string literals; a choice between literals ("a" : "b") gives one text per literal.
std::vector<SourceText> LoggedTexts(const std::string& sFolder);

// The decoded literals of a piece of C++, one text per run of adjacent literals.
std::vector<std::string> StringLiterals(const std::string& sCode);

}  // namespace vxtest

#endif
