// Runs a console program and keeps what it writes to its standard output.
#ifndef TESTS_SUPPORT_CONSOLE_RUN_H
#define TESTS_SUPPORT_CONSOLE_RUN_H

#include <map>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace vxtest
{

struct ConsoleResult
{
    ProcessResult process;
    std::string sOutput;                  // standard output, as written
    std::vector<std::string> Lines() const;  // CR/LF cut, empty lines kept except the last
};

// Starts sCommandLine with the test's environment plus the overrides, reads its standard
// output until it ends, and waits up to dwTimeoutMs for it.
ConsoleResult RunConsole(const std::string& sCommandLine, const std::map<std::string, std::string>& environment = {},
                         DWORD dwTimeoutMs = 60000);

}  // namespace vxtest

#endif
