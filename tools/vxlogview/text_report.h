// The console summary of one run.
#ifndef VXLOGVIEW_TEXT_REPORT_H
#define VXLOGVIEW_TEXT_REPORT_H

#include <string>

#include "timeline.h"

namespace logview
{

// The whole report as lines of text; the log's bytes are passed through in their code page.
std::string TextReport(const RunTimeline& run, const std::string& sInstallLogPath, const std::string& sTracePath);

// "12.345 s", or "0.4 ms" below a second
std::string Seconds(double dMs);

}  // namespace logview

#endif
