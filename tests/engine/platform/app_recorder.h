// A test application that records every call the platform layer makes on it,
// and the helpers that run the whole start-up and loop on a headless script.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "engine/platform/pdisplay.h"
#include "engine/platform/pgameapp.h"
#include "host/hostoptions.h"

struct RecorderConfig {
    bool create = true;          // PGameApp::Create returns an application
    int initResult = 1;          // what Init returns (after the display, if any)
    int displayAtLoop = 0;       // MainLoop pass that creates the display (-1: never; 0: in Init)
    PDisplayProperties3D request3D = {24, 0, 0, 0, 0, 0, 11};
    bool software = true;        // a memory display (no EGL) unless the test needs GL
    int orientation = 0;         // set on the display once made (0: leave)
    bool joystick = false;       // create a joystick with the application as its handler
    int exitOnExitEvent = 1;     // OnExit calls Exit(0)
    int exitAtLoop = -1;         // MainLoop pass that calls Exit(0)
    std::function<void(PGameApp*, PDisplay*)> onLoop; // called on every MainLoop pass
};

extern RecorderConfig g_recorder;
// Calls in order, e.g. "OnMouseButton(100,200,0,0x80030001)"; MainLoop is not listed.
extern std::vector<std::string> g_calls;
extern int g_loops;
extern bool g_appDeleted;

// Host options for a scripted headless run: no start-up activation, no grace.
host::Options ScriptOptions(char const* script);
// Runs PMain on the script with the recorder configuration; returns the calls.
std::vector<std::string> RunScript(char const* script, RecorderConfig const& config = RecorderConfig());
// The calls with the given prefix.
std::vector<std::string> CallsStartingWith(std::vector<std::string> const& calls, char const* prefix);
