// Reads back what the process-wide trace log writes while a test runs.
#ifndef TESTS_SUPPORT_TRACE_CAPTURE_H
#define TESTS_SUPPORT_TRACE_CAPTURE_H

#include <windows.h>

#include <string>
#include <vector>

namespace vxtest
{

struct TraceLine
{
    DWORD dwFlags;      // the category written in the prefix
    std::string sText;  // the message after the module name and marker, "\n" at its end cut
};

// One trace file line split into category and message; false when it has no trace prefix.
bool ParseTraceLine(const std::string& sLine, TraceLine* pLine);
// Every line of a trace file, in order.
std::vector<TraceLine> ReadTraceFile(const std::string& sPath);

// Sets the trace mask for the object's life (every category by default) and returns the lines
// written from construction or the last Clear() on.
class TraceCapture
{
public:
    explicit TraceCapture(DWORD dwMask = 0x1BF);
    ~TraceCapture();
    std::vector<TraceLine> Lines() const;
    // The messages only, optionally only those of one category.
    std::vector<std::string> Texts(DWORD dwFlags = 0) const;
    // How many messages contain sPart (of one category only, when dwFlags is given).
    size_t Count(const std::string& sPart) const;
    size_t Count(DWORD dwFlags, const std::string& sPart) const;
    void Clear();

private:
    TraceCapture(const TraceCapture&);
    TraceCapture& operator=(const TraceCapture&);
    DWORD m_dwOldMask;
    size_t m_cbSkip;
};

}  // namespace vxtest

#endif
