#include "support/box_answerer.h"

namespace vxtest
{

BoxAnswerer::BoxAnswerer(const std::string& sCaption, WPARAM wAnswer, DWORD dwTimeoutMs,
                         std::function<void()> beforeAnswer)
    : m_sCaption(sCaption), m_wAnswer(wAnswer), m_dwTimeoutMs(dwTimeoutMs), m_beforeAnswer(beforeAnswer), m_lStop(0),
      m_fFound(false), m_hThread(NULL)
{
    m_hThread = CreateThread(NULL, 0, Run, this, 0, NULL);
}

BoxAnswerer::~BoxAnswerer() { Wait(); }

bool BoxAnswerer::Wait()
{
    if (m_hThread)
    {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = NULL;
    }
    return m_fFound;
}

bool BoxAnswerer::Stop()
{
    InterlockedExchange(&m_lStop, 1);
    return Wait();
}

bool BoxAnswerer::HasText(const std::string& sText) const
{
    for (const std::string& s : m_texts)
    {
        if (s == sText) return true;
    }
    return false;
}

bool BoxAnswerer::IsShowing(const std::string& sCaption) { return FindWindowA(NULL, sCaption.c_str()) != NULL; }

DWORD WINAPI BoxAnswerer::Run(void* pv)
{
    static_cast<BoxAnswerer*>(pv)->Answer();
    return 0;
}

void BoxAnswerer::Answer()
{
    HWND hwnd = NULL;
    const DWORD dwStart = GetTickCount();
    while (!(hwnd && IsWindowVisible(hwnd)))
    {
        if (GetTickCount() - dwStart > m_dwTimeoutMs || m_lStop) return;
        Sleep(30);
        hwnd = FindWindowA(NULL, m_sCaption.c_str());
    }
    m_fFound = true;
    for (HWND hChild = FindWindowExA(hwnd, NULL, "Static", NULL); hChild;
         hChild = FindWindowExA(hwnd, hChild, "Static", NULL))
    {
        if ((GetWindowLongA(hChild, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
        char szText[2048] = "";
        GetWindowTextA(hChild, szText, sizeof(szText));
        m_texts.push_back(szText);
    }
    if (m_beforeAnswer) m_beforeAnswer();
    PostMessageA(hwnd, WM_COMMAND, m_wAnswer, 0);
}

}  // namespace vxtest
