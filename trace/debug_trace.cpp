#include "trace/debug_trace.h"

std::atomic<bool> g_bDebugMessage{false};
