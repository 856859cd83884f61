#include "support/trace_capture.h"

#include <cstdlib>

#include "diag/trace_log.h"
#include "support/test_support.h"

namespace vxtest
{

namespace
{

const char* const kMarkers[] = {"-> ", "<- ", "## ", "= "};
const DWORD kMarkerFlags[] = {TRACE_ENTRY, TRACE_EXIT, TRACE_FAILURE, TRACE_VALUE};

size_t FileSize(const std::string& sPath)
{
    std::string sBytes;
    return ReadFileBytes(sPath, &sBytes) ? sBytes.size() : 0;
}

std::vector<TraceLine> ParseLines(const std::string& sBytes)
{
    std::vector<TraceLine> lines;
    for (size_t i = 0; i < sBytes.size();)
    {
        size_t j = sBytes.find("\r\n", i);
        if (j == std::string::npos) j = sBytes.size();
        TraceLine line;
        if (ParseTraceLine(sBytes.substr(i, j - i), &line)) lines.push_back(line);
        i = j + 2;
    }
    return lines;
}

}  // namespace

// 20261208043707:0123456:0001(0000-0000)(name.exe)<marker>message
bool ParseTraceLine(const std::string& sLine, TraceLine* pLine)
{
    const size_t iFlags = sLine.find(':', sLine.find(':') + 1);
    const size_t iOpen = sLine.find(")(");
    if (iFlags == std::string::npos || iOpen == std::string::npos) return false;
    const size_t iClose = sLine.find(')', iOpen + 2);
    if (iClose == std::string::npos) return false;
    pLine->dwFlags = static_cast<DWORD>(std::strtoul(sLine.substr(iFlags + 1, 4).c_str(), NULL, 16));
    std::string sText = sLine.substr(iClose + 1);
    for (size_t k = 0; k < sizeof(kMarkers) / sizeof(kMarkers[0]); ++k)
    {
        const std::string sMarker = kMarkers[k];
        if ((pLine->dwFlags & kMarkerFlags[k]) && sText.compare(0, sMarker.size(), sMarker) == 0)
        {
            sText.erase(0, sMarker.size());
        }
    }
    if (!sText.empty() && sText[sText.size() - 1] == '\n') sText.erase(sText.size() - 1);
    pLine->sText = sText;
    return true;
}

std::vector<TraceLine> ReadTraceFile(const std::string& sPath)
{
    std::string sBytes;
    if (!ReadFileBytes(sPath, &sBytes)) return std::vector<TraceLine>();
    return ParseLines(sBytes);
}

TraceCapture::TraceCapture(DWORD dwMask) : m_dwOldMask(g_TraceLog.GetMask()), m_cbSkip(0)
{
    g_TraceLog.SetMask(dwMask);
    Clear();
}

TraceCapture::~TraceCapture() { g_TraceLog.SetMask(m_dwOldMask); }

void TraceCapture::Clear() { m_cbSkip = FileSize(g_TraceLog.GetPath().c_str()); }

std::vector<TraceLine> TraceCapture::Lines() const
{
    std::string sBytes;
    if (!ReadFileBytes(g_TraceLog.GetPath().c_str(), &sBytes) || sBytes.size() <= m_cbSkip)
    {
        return std::vector<TraceLine>();
    }
    return ParseLines(sBytes.substr(m_cbSkip));
}

std::vector<std::string> TraceCapture::Texts(DWORD dwFlags) const
{
    std::vector<std::string> texts;
    for (const TraceLine& line : Lines())
    {
        if (dwFlags == 0 || (line.dwFlags & dwFlags)) texts.push_back(line.sText);
    }
    return texts;
}

size_t TraceCapture::Count(const std::string& sPart) const { return Count(0, sPart); }

size_t TraceCapture::Count(DWORD dwFlags, const std::string& sPart) const
{
    size_t n = 0;
    for (const std::string& sText : Texts(dwFlags))
    {
        if (sText.find(sPart) != std::string::npos) ++n;
    }
    return n;
}

}  // namespace vxtest
