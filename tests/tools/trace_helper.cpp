// Runs under whatever name a test copies it to, so the trace log's naming and first-line rules
// can be seen from outside:
//   vx_trace_helper <result file> [lines [gap ms]]
// writes the process-wide trace object's path into the result file, then, with "lines", two
// failure lines that many milliseconds apart.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diag/trace_log.h"

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    std::FILE* pResult = std::fopen(argv[1], "wb");
    if (!pResult) return 3;
    std::fputs(g_TraceLog.GetPath().c_str(), pResult);
    std::fclose(pResult);

    if (argc >= 3 && std::strcmp(argv[2], "lines") == 0)
    {
        const DWORD dwGapMs = argc >= 4 ? static_cast<DWORD>(std::strtoul(argv[3], NULL, 10)) : 0;
        g_TraceLog.SetMask(TRACE_FAILURE);  // whatever the debug settings chose
        g_TraceLog.TraceFailure("helper line %d", 1);
        Sleep(dwGapMs);
        g_TraceLog.TraceFailure("helper line %d", 2);
    }
    return 0;
}
