// The library's process-wide objects. They are defined together, in this one unit, because
// C++ orders static construction only within a unit: the factory's constructor traces and
// replaces the trace mask, so the trace log must exist before it; the spooler mutex is created
// with the shared security object's attributes.
#include "diag/trace_log.h"
#include "infrastructure/factory.h"
#include "infrastructure/ipc_objects.h"

CTraceLog g_TraceLog(NULL, TRACE_DEFAULT_MASK);
CFactory g_Factory(NULL, FACTORY_LOAD_MODELS);
CSecurity g_SharedSecurity(20, 1);
CInfrastructureMutex g_SpoolerMutex("SpoolerMutex");
