#include "tests/game/world/world_fixture.h"

#include <GLES/gl.h>

#include "tools/glreplay/pngio.h"

namespace worldtest {

std::vector<uint32_t> MesaContext::Read() const
{
    std::vector<uint8_t> up(size_t(w) * h * 4);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, up.data());
    std::vector<uint32_t> out(size_t(w) * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const uint8_t* p = &up[(size_t(h - 1 - y) * w + x) * 4];
            out[size_t(y) * w + x] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    return out;
}

std::vector<uint32_t> SoftContext::Read()
{
    PBackBuffer& b = display.Buffer();
    std::vector<uint32_t> out(size_t(b.width) * b.height);
    for (int y = 0; y < b.height; y++)
        for (int x = 0; x < b.width; x++) {
            uint16_t p = b.pixels[size_t(y) * (b.pitch / 2) + x];
            uint32_t r = (p >> 11) & 31, g = (p >> 5) & 63, bl = p & 31;
            out[size_t(y) * b.width + x] = (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (bl << 3 | bl >> 2);
        }
    return out;
}

bool SaveFrame(std::string const& path, std::vector<uint32_t> const& rgb, int w, int h)
{
    glreplay::Image img;
    img.width = w;
    img.height = h;
    for (uint32_t c : rgb)
        img.rgba.insert(img.rgba.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255});
    std::string err;
    return glreplay::WritePng(path, img, err);
}

} // namespace worldtest
