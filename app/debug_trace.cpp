#include "app/debug_trace.h"

std::atomic<bool> g_bDebugMessage{false};
