/* The configuration manager's functions live in setupapi.dll, as on Windows; this library
   only forwards to them (see cfgmgr32.def). */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pReserved)
{
    (void)hInstance;
    (void)dwReason;
    (void)pReserved;
    return TRUE;
}
