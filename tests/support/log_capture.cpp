#include "support/log_capture.h"

#include "diag/install_log.h"

namespace vxtest
{

InstallLogCapture::InstallLogCapture() : m_dir("ilcap"), m_nSkip(0)
{
    g_InstallLog.Open(m_dir.File("capture.log").c_str(), 0, LOG_NO_TEMP_DIR);
    Clear();
}

InstallLogCapture::~InstallLogCapture() { g_InstallLog.Open("", 0, 0); }

void InstallLogCapture::Clear() { m_nSkip = ReadLines(m_dir.File("capture.log")).size(); }

std::vector<std::string> InstallLogCapture::Lines() const
{
    std::vector<std::string> lines = ReadLines(m_dir.File("capture.log"));
    if (lines.size() <= m_nSkip) return std::vector<std::string>();
    return std::vector<std::string>(lines.begin() + m_nSkip, lines.end());
}

std::vector<std::string> InstallLogCapture::Conditions() const
{
    std::vector<std::string> conditions;
    for (const std::string& sLine : Lines())
    {
        const size_t i = sLine.find("]: Error --> ");
        if (i != std::string::npos) conditions.push_back(sLine.substr(i + 13));
    }
    return conditions;
}

}  // namespace vxtest
