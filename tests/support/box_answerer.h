// Answers a message box from a thread of its own, as a user would, and tells what it showed.
#ifndef TESTS_SUPPORT_BOX_ANSWERER_H
#define TESTS_SUPPORT_BOX_ANSWERER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace vxtest
{

// Watches for a visible top-level window captioned sCaption (ANSI code page bytes), in any
// process, reads its Static children's texts and posts WM_COMMAND with the answer (IDYES, IDNO,
// IDOK). Gives up after dwTimeoutMs.
class BoxAnswerer
{
public:
    // beforeAnswer runs on the answering thread once the box was read, before the answer.
    BoxAnswerer(const std::string& sCaption, WPARAM wAnswer, DWORD dwTimeoutMs = 20000,
                std::function<void()> beforeAnswer = std::function<void()>());
    ~BoxAnswerer();  // waits for the thread

    // Waits for the thread; true when a box was found and answered.
    bool Wait();
    // Stops watching (for a box that is not expected) and waits for the thread.
    bool Stop();
    // Valid after Wait().
    bool Found() const { return m_fFound; }
    const std::vector<std::string>& Texts() const { return m_texts; }  // the icon's excluded
    bool HasText(const std::string& sText) const;
    // A window of that caption exists now.
    static bool IsShowing(const std::string& sCaption);

private:
    BoxAnswerer(const BoxAnswerer&);
    BoxAnswerer& operator=(const BoxAnswerer&);
    static DWORD WINAPI Run(void* pv);
    void Answer();

    std::string m_sCaption;
    WPARAM m_wAnswer;
    DWORD m_dwTimeoutMs;
    std::function<void()> m_beforeAnswer;
    volatile LONG m_lStop;
    bool m_fFound;
    std::vector<std::string> m_texts;
    HANDLE m_hThread;
};

}  // namespace vxtest

#endif
