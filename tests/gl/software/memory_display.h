// A display of graphics type 0 over a heap RGB565 buffer: what the software
// back end draws into in tests, fuzz targets and benchmarks.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/platform/pdisplay.h"

namespace swtest {

class MemoryDisplay : public PDisplay {
public:
    MemoryDisplay(int w, int h, int pitchPixels = 0) : m_pixels(size_t(pitchPixels ? pitchPixels : w) * h)
    {
        m_buffer.pixels = m_pixels.data();
        m_buffer.width = w;
        m_buffer.height = h;
        m_buffer.pitch = (pitchPixels ? pitchPixels : w) * 2;
    }
    PBackBuffer* GetBackBuffer(PBackBufferType type) override { return type == PBACKBUFFER_COLOR ? &m_buffer : nullptr; }
    void Update(int) override {}
    void WaitVerticalBlank() override {}
    void GetInfo(PDisplayProperties& p) override
    {
        p = PDisplayProperties{};
        p.width = p.screenWidth = m_buffer.width;
        p.height = p.screenHeight = m_buffer.height;
    }
    PBackBuffer& Buffer() { return m_buffer; }

private:
    std::vector<uint16_t> m_pixels;
    PBackBuffer m_buffer{};
};

} // namespace swtest
