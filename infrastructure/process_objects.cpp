// The library's process-wide objects. They are defined together, in this one unit, because
// C++ orders static construction only within a unit: the factory's constructor traces and
// replaces the trace mask, so the trace log must exist before it.
#include "diag/trace_log.h"

CTraceLog g_TraceLog(NULL, TRACE_DEFAULT_MASK);
