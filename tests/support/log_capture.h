// Points the process-wide install log at a scratch file so a test can read what was logged.
#ifndef TESTS_SUPPORT_LOG_CAPTURE_H
#define TESTS_SUPPORT_LOG_CAPTURE_H

#include <string>
#include <vector>

#include "support/test_support.h"

namespace vxtest
{

class InstallLogCapture
{
public:
    InstallLogCapture();
    ~InstallLogCapture();
    // The lines written since construction or the last Clear(), the header left out.
    std::vector<std::string> Lines() const;
    // The "Error --> " condition texts among them, in order.
    std::vector<std::string> Conditions() const;
    void Clear();

private:
    InstallLogCapture(const InstallLogCapture&);
    InstallLogCapture& operator=(const InstallLogCapture&);
    ScratchDir m_dir;
    size_t m_nSkip;
};

}  // namespace vxtest

#endif
