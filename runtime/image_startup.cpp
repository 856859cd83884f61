// Linked into every shipped image in place of the MinGW CRT's TLS support object, which gives
// each image a TLS directory. Windows 95 refuses to LoadLibrary a DLL that has one (error 1114,
// ERROR_DLL_INIT_FAILED), and before Vista the TLS callbacks of a DLL loaded at run time are
// never called. The product has no implicit TLS: the runtime's per-thread data is emulated
// through TlsAlloc slots.
//
// Defining the symbols through which the start-up code reaches that object keeps it out of the
// link, and with it the directory and its callbacks.
#include <windows.h>

extern "C" {

// The start-up code sets these to pull the object in.
int __mingw_initltsdrot_force = 0;
int __mingw_initltsdyn_force = 0;
int __mingw_initltssuo_force = 0;

// Called by the start-up code before the constructors, when not NULL. The CRT's own runs the
// MSVC-style dynamic TLS initialisers, of which GCC's code has none.
extern const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback = NULL;

}
