#include "engine/platform/pdisplay.h"

#include <cstring>

#include "engine/platform/pdisplayegl.h"
#include "engine/platform/pgameapp.h"
#include "engine/platform/psystemmanager.h"
#include "engine/runtime/pdebug.h"
#include "host/hostoptions.h"
#include "host/hostwindow.h"

PDisplay::~PDisplay() = default;
int PDisplay::Activate(int) { return 1; }
int PDisplay::ReConfigure(void*) { return 1; }
int PDisplay::GetType() { return 0; }
int PDisplay::Begin() { return 1; }
void PDisplay::End() {}
int PDisplay::GetSupportedOrientations() { return 0; }
int PDisplay::GetCurrentOrientation() { return 1; }
int PDisplay::SetOrientation(PDisplayOrientations) { return 0; }
int PDisplay::SetSize(int, int) { return -1; }
void PDisplay::SetUpdateCallback(int (*)(void*)) {}
bool PDisplay::SetBeforePresent(void (*)(void*), void*) { return false; }
void PDisplay::SetGLES(void*) {}
void PDisplay::SkipFBO(unsigned char) {}
void PDisplay::ConvertPos(int&, int&) {}
void* PDisplay::GetHandle() { return nullptr; }

void PDisplaySetChannels(PDisplayProperties& props, int red, int green, int blue)
{
    props.redBits = uint8_t(red);
    props.greenBits = uint8_t(green);
    props.blueBits = uint8_t(blue);
    props.redShift = uint8_t(green + blue);
    props.greenShift = uint8_t(blue);
    props.blueShift = 0;
    auto mask = [](int bits, int shift) {
        return bits <= 0 ? 0u : bits >= 32 ? 0xFFFFFFFFu << shift : ((1u << bits) - 1) << shift;
    };
    props.redMask = red + green + blue <= 32 ? mask(red, green + blue) : 0;
    props.greenMask = green + blue <= 32 ? mask(green, blue) : 0;
    props.blueMask = mask(blue, 0);
}

void PDisplayRotatePos(int orientation, int w, int h, int& x, int& y)
{
    int ox = x, oy = y;
    switch (orientation) {
    case PDISPLAY_ORIENT_270:
        x = h - oy;
        y = ox;
        break;
    case PDISPLAY_ORIENT_180:
        x = w - ox;
        y = h - oy;
        break;
    case PDISPLAY_ORIENT_90:
        x = oy;
        y = w - ox;
        break;
    default:
        break;
    }
}

PDisplay* PDisplay::Get(PGameDispatcher* app, PDisplayProperties* request, int unused)
{
    return Get3D(app, request, nullptr, unused);
}

PDisplay* PDisplay::Get3D(PGameDispatcher* app, PDisplayProperties* request,
                          PDisplayProperties3D* request3D, int)
{
    PGameSystemManager* sysman = app ? app->GetSystemManager() : nullptr;
    if (!sysman) {
        _PDebug("PDisplay::Get3D: the application has no system manager\n");
        return nullptr;
    }
    if (sysman->m_display)
        return sysman->m_display;

    PDisplayProperties copy;
    if (request)
        copy = *request;
    else
        std::memset(&copy, 0, sizeof copy);

    int kind = 1, alpha = 0, depth = 16;
    PDisplayProperties3D req3D = {};
    if (request3D) {
        req3D = *request3D;
        kind = req3D.version < 12 ? 1 : 2;
        alpha = req3D.alphaBits != 0;
        depth = req3D.depthBits <= 16 ? 16 : 24;
    }

    // The renderer chosen on the host may override the application's request.
    int renderer = host::GetOptions().renderer;
    if (renderer == host::RENDERER_SOFTWARE) {
        int w = 0, h = 0;
        host::WindowSize(nullptr, &w, &h);
        PSoftDisplay* soft = PSoftDisplay::Create(w, h);
        if (!soft)
            return nullptr;
        sysman->m_display = soft;
        return soft;
    }
    if (renderer == host::RENDERER_GLES1 || renderer == host::RENDERER_GLES2) {
        if (!request3D) {
            req3D.depthBits = 16;
            request3D = &req3D;
        }
        kind = renderer == host::RENDERER_GLES1 ? 1 : 2;
        req3D.version = kind == 1 ? 11 : 20;
        request3D = &req3D;
    } else if (request3D) {
        request3D = &req3D;
    }

    if (copy.redBits == 0)
        copy.redBits = 8;

    PRimDisplay* display = new PRimDisplay(kind, alpha, &copy);
    if (!display)
        return nullptr;
    if (!display->Init(display->NativeWindow(), depth, &copy, request3D)) {
        _PDebug("PDisplay::Get3D: the display could not be set up\n");
        delete display;
        return nullptr;
    }
    display->InitFbo(&copy);
    sysman->m_display = display;
    return display;
}
