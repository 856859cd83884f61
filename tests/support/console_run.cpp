#include "support/console_run.h"

namespace vxtest
{

std::vector<std::string> ConsoleResult::Lines() const
{
    std::vector<std::string> lines;
    size_t i = 0;
    while (i < sOutput.size())
    {
        size_t iEnd = sOutput.find('\n', i);
        if (iEnd == std::string::npos) iEnd = sOutput.size();
        std::string sLine = sOutput.substr(i, iEnd - i);
        if (!sLine.empty() && sLine[sLine.size() - 1] == '\r') sLine.erase(sLine.size() - 1);
        lines.push_back(sLine);
        i = iEnd + 1;
    }
    return lines;
}

ConsoleResult RunConsole(const std::string& sCommandLine, const std::map<std::string, std::string>& environment,
                         DWORD dwTimeoutMs)
{
    ConsoleResult result;
    SECURITY_ATTRIBUTES tInherit = {sizeof(SECURITY_ATTRIBUTES), NULL, TRUE};
    HANDLE hRead = NULL, hWrite = NULL;
    if (!CreatePipe(&hRead, &hWrite, &tInherit, 0)) return result;
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA tStartup = {};
    tStartup.cb = sizeof(tStartup);
    tStartup.dwFlags = STARTF_USESTDHANDLES;
    tStartup.hStdOutput = hWrite;
    tStartup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    tStartup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION tProcess = {};
    std::vector<char> commandLine(sCommandLine.begin(), sCommandLine.end());
    commandLine.push_back('\0');
    std::vector<char> block = EnvironmentBlock(environment);
    result.process.fStarted = CreateProcessA(NULL, commandLine.data(), NULL, NULL, TRUE, CREATE_NO_WINDOW,
                                             block.data(), NULL, &tStartup, &tProcess) != FALSE;
    CloseHandle(hWrite);  // the child holds the only writing end now: the reads end with it
    if (!result.process.fStarted)
    {
        CloseHandle(hRead);
        return result;
    }
    char buffer[4096];
    DWORD cbRead = 0;
    while (ReadFile(hRead, buffer, sizeof(buffer), &cbRead, NULL) && cbRead > 0) result.sOutput.append(buffer, cbRead);
    CloseHandle(hRead);
    result.process.fFinished = WaitForSingleObject(tProcess.hProcess, dwTimeoutMs) == WAIT_OBJECT_0;
    if (!result.process.fFinished) TerminateProcess(tProcess.hProcess, 1);
    GetExitCodeProcess(tProcess.hProcess, &result.process.dwExitCode);
    CloseHandle(tProcess.hThread);
    CloseHandle(tProcess.hProcess);
    return result;
}

}  // namespace vxtest
