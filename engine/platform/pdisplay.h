// The display: the surface the GL layer (or the software rasterizer) draws
// on, the conversion of touch positions into drawing coordinates, and the
// presentation of each frame. The application obtains it once through
// PDisplay::Get3D; the system manager owns it.
#pragma once
#include <cstdint>

class PGameDispatcher;

// Display orientations: 1 upright, 2 and 8 the two quarter turns, 4 the half turn.
enum PDisplayOrientations {
    PDISPLAY_ORIENT_NORMAL = 1,
    PDISPLAY_ORIENT_90 = 2,
    PDISPLAY_ORIENT_180 = 4,
    PDISPLAY_ORIENT_270 = 8,
};

// Graphics types reported by GetType: the drawing context picks its back end
// from it.
enum {
    PGRAPHICS_SOFTWARE = 0, // RGB565 back buffer drawn by the software rasterizer
    PGRAPHICS_GLES1 = 1,
    PGRAPHICS_GLES2 = 2,
};

struct PDisplayProperties {
    int32_t width;        // drawing size (the surface, or the off-screen framebuffer)
    int32_t height;
    int32_t screenWidth;  // size of the window surface
    int32_t screenHeight;
    uint16_t bitsPerPixel;
    uint16_t colorDepth;  // the requested colour depth
    uint8_t redBits;      // in a request: non-zero asks for that red size
    uint8_t greenBits;
    uint8_t blueBits;
    uint8_t redShift;     // green bits + blue bits
    uint8_t greenShift;   // blue bits
    uint8_t blueShift;    // 0
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    int32_t orientation;  // starting orientation: always 0 after GetInfo
    int32_t reserved;     // 0
    int32_t fbWidth;      // off-screen framebuffer size (0 for none); in a request the wanted size
    int32_t fbHeight;
    uint8_t fbFlags;      // passed through
    uint8_t fitFlags;     // 0 as given; non-zero: turned to the screen's orientation; 2: aspect matched too
};

// The 3D request: GL version code 11 for OpenGL ES 1.1, 20 for 2.0 (below 12
// selects 1.x).
struct PDisplayProperties3D {
    uint8_t depthBits;
    uint8_t unused;
    uint8_t alphaBits;
    uint8_t stencilBits;
    uint8_t sampleBuffers;
    uint8_t samples;
    uint8_t version;
};

enum PBackBufferType {
    PBACKBUFFER_COLOR = 0,
};

// A 16-bit RGB565 colour buffer in memory (displays of graphics type 0).
struct PBackBuffer {
    uint16_t* pixels;
    int32_t width;
    int32_t height;
    int32_t pitch; // bytes from one row to the next
};

class PDisplay {
public:
    PDisplay() = default;
    PDisplay(PDisplay const&) = delete;
    PDisplay& operator=(PDisplay const&) = delete;
    virtual ~PDisplay();

    // The memory colour buffer, or null for a display drawn by GL.
    virtual PBackBuffer* GetBackBuffer(PBackBufferType type) = 0;
    // Presents the drawn frame; finish non-zero waits for GL to complete first.
    virtual void Update(int finish) = 0;
    virtual void WaitVerticalBlank() = 0;
    virtual void GetInfo(PDisplayProperties& props) = 0;
    virtual int Activate(int on);
    virtual int ReConfigure(void* window);
    virtual int GetType();
    virtual int Begin();
    virtual void End();
    virtual int GetSupportedOrientations();
    virtual int GetCurrentOrientation();
    virtual int SetOrientation(PDisplayOrientations orientation);
    virtual int SetSize(int width, int height);
    virtual void SetUpdateCallback(int (*callback)(void*));
    // A function a display that shows a back buffer in memory calls before it
    // shows it (a renderer that draws late finishes there); null removes it.
    // False when the display calls no such function.
    virtual bool SetBeforePresent(void (*hook)(void*), void* user);
    virtual void SetGLES(void* gles);
    virtual void SkipFBO(unsigned char skip);
    virtual void ConvertPos(int& x, int& y);
    virtual void* GetHandle();

    // The display of app's system manager, created on the first call (null on
    // failure); later calls return it untouched. The last argument is unused.
    static PDisplay* Get3D(PGameDispatcher* app, PDisplayProperties* request,
                           PDisplayProperties3D* request3D, int unused);
    static PDisplay* Get(PGameDispatcher* app, PDisplayProperties* request, int unused);
};

// Fills the channel fields of props for the given bit counts (shifts and masks).
void PDisplaySetChannels(PDisplayProperties& props, int red, int green, int blue);
// Maps (x, y) on a screen of w x h for a display held in the given orientation.
void PDisplayRotatePos(int orientation, int w, int h, int& x, int& y);
