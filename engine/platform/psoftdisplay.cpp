#include <cstring>

#include "engine/platform/pdisplayegl.h"
#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "host/hostwindow.h"

PSoftDisplay* PSoftDisplay::Create(int width, int height)
{
    // A sane size: the buffer's bytes must fit an int.
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
        _PDebug("PSoftDisplay: bad size %d x %d\n", width, height);
        return nullptr;
    }
    PSoftDisplay* display = new PSoftDisplay();
    if (!display)
        return nullptr;
    display->m_buffer.pixels = static_cast<uint16_t*>(PAllocZ(width * height * 2));
    if (!display->m_buffer.pixels) {
        delete display;
        return nullptr;
    }
    display->m_buffer.width = width;
    display->m_buffer.height = height;
    display->m_buffer.pitch = width * 2;
    display->m_screenWindow = host::CreateWindow(host::FORMAT_RGB565, 0);
    return display;
}

PSoftDisplay::~PSoftDisplay()
{
    PFree(m_buffer.pixels);
    m_buffer.pixels = nullptr;
    host::DestroyWindow(m_screenWindow);
}

PBackBuffer* PSoftDisplay::GetBackBuffer(PBackBufferType type)
{
    return type == PBACKBUFFER_COLOR ? &m_buffer : nullptr;
}

void PSoftDisplay::Update(int)
{
    if (m_beforePresent)
        m_beforePresent(m_beforePresentUser);
    host::PresentSoft(m_buffer.pixels, m_buffer.width, m_buffer.height, m_buffer.pitch);
}

void PSoftDisplay::GetInfo(PDisplayProperties& props)
{
    std::memset(&props, 0, sizeof props);
    props.width = m_buffer.width;
    props.height = m_buffer.height;
    props.screenWidth = m_buffer.width;
    props.screenHeight = m_buffer.height;
    props.bitsPerPixel = 16;
    props.colorDepth = 16;
    PDisplaySetChannels(props, 5, 6, 5);
    if (m_orientation == PDISPLAY_ORIENT_90 || m_orientation == PDISPLAY_ORIENT_270) {
        props.width = m_buffer.height;
        props.height = m_buffer.width;
    }
}

int PSoftDisplay::SetOrientation(PDisplayOrientations orientation)
{
    m_orientation = orientation;
    return 1;
}

void PSoftDisplay::ConvertPos(int& x, int& y)
{
    PDisplayRotatePos(m_orientation, m_buffer.width, m_buffer.height, x, y);
}
