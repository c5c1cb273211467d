// The stand-in for the tablet's screen windows: the window the display draws
// on, the native handles EGL needs, and the presentation of finished frames
// (on screen, or as PNG files headless).
#pragma once
#include <cstdint>

namespace host {

struct Window;

// Window formats and usages asked by the display.
enum { FORMAT_RGB565 = 6, FORMAT_RGBA8888 = 8, FORMAT_RGBX8888 = 9 };
enum { USAGE_OPENGL_ES1 = 16, USAGE_OPENGL_ES2 = 32 };

// Makes the application window of the configured size; null on failure.
Window* CreateWindow(int format, int usage);
void DestroyWindow(Window* window);
// The native window for an EGL window surface, or null when the host has no
// window system (the display then draws into a pbuffer of the window's size).
void* NativeWindow(Window* window);
void WindowSize(Window* window, int* width, int* height);

// The EGL platform and native display to open (platform 0: use
// eglGetDisplay on the native display).
int EglPlatform(void** nativeDisplay);

// Called by the display once per frame: just before the GL buffer swap
// (width x height of the current surface), or with a finished RGB565 frame.
void PresentGL(int width, int height);
void PresentSoft(uint16_t const* pixels, int width, int height, int pitch);
unsigned FramesPresented();

// Writes an 8-bit RGB or RGBA image as a PNG file (through a temporary file);
// 1 on success.
int WritePng(char const* path, uint8_t const* pixels, int width, int height, int channels, int stride);

} // namespace host
