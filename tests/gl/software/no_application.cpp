// The software rasterizer's tests run without an application: the platform
// layer's system manager (linked in with the display) asks for one that is
// never made here.
#include "engine/platform/pgameapp.h"

__attribute__((weak)) PGameApp* PGameApp::Create() { return nullptr; }
