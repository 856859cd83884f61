/* Holds a Wine prefix awake for a test run: while one program lives, Wine keeps its system
   processes, so they do not start again, bound to the output pipe of some test. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nShowCmd)
{
    (void)hInstance;
    (void)hPrevInstance;
    (void)lpszCmdLine;
    (void)nShowCmd;
    Sleep(INFINITE);
    return 0;
}
