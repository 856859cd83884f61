// Finding the PDI's logs on this machine. The PDI writes them to the temporary folder of
// whoever ran it: the user's, or, when a coinstaller ran as the system account, the Windows
// folder's TEMP or the system account's profile.
#ifndef VXLOGVIEW_LOG_FINDER_H
#define VXLOGVIEW_LOG_FINDER_H

#include <windows.h>

#include <string>
#include <vector>

namespace logview
{

struct FoundLog
{
    std::string sPath;
    bool fTrace = false;  // vxfpdiNNN.log; else an install log, vxvxdiNN.log
    FILETIME ftWritten = {};
    unsigned long long cbSize = 0;
    std::string sSummary;  // an install log's outcome line; for a trace, its last line's text
};

// The folders the PDI's logs may be in, each with its trailing backslash, without repeats:
// this user's temporary folder, the Windows folder's TEMP and, on the NT family, the system
// account's profile temp.
std::vector<std::string> LogFolders();

// The install logs and traces in these folders, newest first.
std::vector<FoundLog> FindLogs(const std::vector<std::string>& folders);

// The newest install log, or null.
const FoundLog* NewestInstallLog(const std::vector<FoundLog>& logs);

// The trace of the same run as the install log: in its folder and last written within a few
// seconds of it (the PDI writes both to its last step). Null when there is none.
const FoundLog* TraceOfRun(const std::vector<FoundLog>& logs, const FoundLog& installLog);

// The listing: one line per log with its local time, size, path and summary, then the folders.
std::string FindReport(const std::vector<FoundLog>& logs, const std::vector<std::string>& folders);

}  // namespace logview

#endif
