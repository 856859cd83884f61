// Reading an install log or a trace file as the PDI writes it, on any machine: lines split at
// CR LF, LF or CR, bytes kept as they are (the writer's code page), a last line without its
// end kept too (a killed run). Input that cannot be one of these files is refused with the reason.
#ifndef VXLOGVIEW_LOG_LINES_H
#define VXLOGVIEW_LOG_LINES_H

#include <cstddef>
#include <string>
#include <vector>

namespace logview
{

// No line the PDI writes is longer: the trace's message buffer holds 64000 bytes and a command
// line at most 32767 characters.
const size_t kLongestLine = 65536;

struct TextFile
{
    std::string sPath;
    std::vector<std::string> lines;
    bool fLastLineCut = false;  // the file ends inside a line
};

// Reads and splits the file; false with a message for a missing, unreadable, empty or binary
// file and for a line longer than any the PDI writes.
bool ReadTextFile(const std::string& sPath, TextFile* pFile, std::string* psProblem);

// The file's last cbMost bytes (all of a smaller file); false when it cannot be read. A log
// that is still being written may be read too.
bool ReadFileTail(const std::string& sPath, size_t cbMost, std::string* psBytes);

// The last line with text of the bytes, without its line end; empty for none.
std::string LastLineOf(const std::string& sBytes);

enum InstallLineKind
{
    eInstallBlank,
    eInstallHeader,     // "**** <time> - Logging Enabled ****"
    eInstallCondition,  // "[<file>, Line <n>]: Error --> <condition>"
    eInstallSourced,    // "[<file>, Line <n>]: <message>"
    eInstallMessage     // any other line
};

struct InstallLine
{
    size_t iLine = 0;  // 1-based line number in the file
    InstallLineKind eKind = eInstallBlank;
    std::string sSource;  // the file name of a sourced line
    long lSourceLine = 0;
    std::string sText;  // the condition, the message, or the header's time
};

std::vector<InstallLine> ParseInstallLog(const TextFile& file);
// True when the first line with text is the header: the file is an install log of the PDI.
bool HasInstallLogHeader(const std::vector<InstallLine>& lines);

struct TraceLine
{
    size_t iLine = 0;
    std::string sTime;           // 14 digits, or empty
    unsigned long ulMicros = 0;  // the counter, modulo ten seconds
    bool fMicros = false;
    unsigned uCategory = 0;
    unsigned uSecondsSinceStart = 0;
    unsigned uSecondsSincePrevious = 0;
    std::string sModule;
    std::string sText;  // after the category's marker
};

// ReadTextFile, and false with a message when the file is not an install log of the PDI.
bool ReadInstallLog(const std::string& sPath, TextFile* pFile, std::string* psProblem);
// ReadTextFile, and false with a message when the file is not a trace.
bool ReadTrace(const std::string& sPath, TextFile* pFile, std::string* psProblem);

// One line of a trace file; false when it has no trace prefix.
bool ParseTraceLine(const std::string& sLine, TraceLine* pLine);
// The lines with a trace prefix; pcForeign counts the lines with text but without one.
std::vector<TraceLine> ParseTrace(const TextFile& file, size_t* pcForeign);

}  // namespace logview

#endif
