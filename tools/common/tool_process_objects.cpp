// The library's process-wide objects as a tool shipped beside the PDI has them: the same
// objects as infrastructure/process_objects.cpp, but the trace log starts closed. The PDI's
// start-up writes the parsed command line into a new trace file in the temporary folder; a
// tool writes a trace only when its command line asks for one (--trace).
//
// Linked into the tool's program itself, these definitions stand in for the library's: the
// linker then has no reason to take process_objects.cpp's object out of the static library.
// The factory comes last: its constructor sets the trace mask from the debug settings, and the
// tool's main sets its own right after start-up, before anything else traces.
#include "diag/trace_log.h"
#include "infrastructure/factory.h"
#include "infrastructure/ipc_objects.h"

CTraceLog g_TraceLog(NULL, 0);
CSecurity g_SharedSecurity(20, 1);
CInfrastructureMutex g_SpoolerMutex("SpoolerMutex");
CFactory g_Factory(NULL, FACTORY_LOAD_MODELS);
