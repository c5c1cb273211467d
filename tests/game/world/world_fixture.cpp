#include "tests/game/world/world_fixture.h"

#include "tools/glreplay/pngio.h"

namespace worldtest {

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
