/* The yardstick of the whole-run benchmark: a Win32 program that does nothing. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR pszCmdLine, int nShow)
{
    (void)hInstance;
    (void)hPrevInstance;
    (void)pszCmdLine;
    (void)nShow;
    return 0;
}
