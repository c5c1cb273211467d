#include "engine/runtime/pglobals.h"

namespace {
void* g_tls = nullptr;
}

void PSetTls(void* p) { g_tls = p; }
void* PGetTls() { return g_tls; }
