// glreplay has no application: the platform layer's system manager (linked in
// with the display the GL layer talks to) asks for one that is never made.
#include "engine/platform/pgameapp.h"

__attribute__((weak)) PGameApp* PGameApp::Create() { return nullptr; }
