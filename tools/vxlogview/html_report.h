// The report as one self-contained HTML page: summary, a timeline of the steps drawn to scale
// and the raw lines of both files with the failing one marked. No scripts, styles, fonts or
// images from elsewhere: it opens on a machine without a network.
#ifndef VXLOGVIEW_HTML_REPORT_H
#define VXLOGVIEW_HTML_REPORT_H

#include <string>

#include "log_lines.h"
#include "timeline.h"

namespace logview
{

// The page in ASCII: every other character as a numeric reference, converted from the code
// page the logs were written in (uCodePage, as MultiByteToWideChar takes it).
std::string HtmlReport(const RunTimeline& run, const TextFile& installLog, const TextFile* pTrace, unsigned uCodePage);

// The bytes as HTML text: markup characters escaped, the code page's characters as references.
std::string HtmlText(const std::string& sBytes, unsigned uCodePage);

}  // namespace logview

#endif
