// The tool reads scenes with the engine's loader, which sits in a library
// beside the GL layer; the platform layer there asks for the program's
// application object, which a tool does not have.
#include "engine/platform/pgameapp.h"

PGameApp* PGameApp::Create() { return nullptr; }
