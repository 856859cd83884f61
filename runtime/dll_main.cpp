// The DLL's entry point after the CRT's start-up. Without a TLS directory (image_startup.cpp)
// the runtime's thread-exit work reaches it here instead: the destructors registered for
// TlsAlloc keys, which free a thread's emulated thread-local data (the exception state of a
// thread that has thrown).
#include <windows.h>

extern "C" BOOL __mingw_TLScallback(HANDLE hDllHandle, DWORD dwReason, LPVOID pvReserved);

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pvReserved)
{
    // Attach readies the key-destructor list; a thread's detach runs its destructors.
    // Process detach is left alone: the DLL's own static destructors run after this call and
    // may still reach their thread's data, which the list's destructors would free.
    if (dwReason == DLL_PROCESS_ATTACH || dwReason == DLL_THREAD_DETACH)
        __mingw_TLScallback(hInstance, dwReason, pvReserved);
    return TRUE;
}
