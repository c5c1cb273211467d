// FreeType as the reference of the font tests: builds DejaVu fonts with the
// fntbuild tool and lays out the same text from FreeType's own bitmaps.
#pragma once
#include <ft2build.h>
#include FT_FREETYPE_H

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fonttest {

inline const char kDejaVuSans[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr int kSize = 16;   // pixel size
constexpr int kAscent = 16; // baseline row of the built fonts
constexpr int kHeight = 22; // glyph height of the built fonts
// Glyphs whose bitmaps do not overlap at this size, so that each pixel of the
// reference comes from one glyph.
inline const char kSample[] = "Quick brown 0123456789 (HELLO) jumps, \"OK\" @ 42% ~ {x|y}!";

struct TempDir {
    std::filesystem::path path;
    explicit TempDir(const char* stem)
    {
        path = std::filesystem::temp_directory_path() / (std::string(stem) + "_" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
};

// Runs fntbuild on DejaVu Sans at the test size (ASCII); the path of the
// font, or empty when the tool failed.
inline std::string BuildDejaVu(std::filesystem::path const& dir, const char* name, const char* options)
{
    const std::string out = (dir / name).string();
    const std::string cmd = std::string("'") + KRV_FNTBUILD + "' font '" + kDejaVuSans + "' '" + out +
                            "' --size " + std::to_string(kSize) + " --chars ascii --ascent " +
                            std::to_string(kAscent) + " --height " + std::to_string(kHeight) + " " + options;
    return std::system(cmd.c_str()) == 0 ? out : std::string();
}

// A text laid out by FreeType: coverage per pixel of a w x h area.
struct Layout {
    bool ok = false;
    std::string problem;
    int advance = 0; // pen movement
    int w = 0, h = 0;
    std::vector<uint8_t> cov;
    int At(int x, int y) const { return x < 0 || y < 0 || x >= w || y >= h ? 0 : cov[size_t(y) * size_t(w) + size_t(x)]; }
};

class Reference {
public:
    ~Reference()
    {
        if (m_face)
            FT_Done_Face(m_face);
        if (m_lib)
            FT_Done_FreeType(m_lib);
    }
    bool Open(const char* path, int size)
    {
        return !FT_Init_FreeType(&m_lib) && !FT_New_Face(m_lib, path, 0, &m_face) &&
               !FT_Set_Pixel_Sizes(m_face, 0, FT_UInt(size));
    }

    // The text with the glyph tops (row 0 of the font) at y and the pen at x:
    // the baseline lies kAscent rows below y, and every glyph is moved right
    // by the largest negative left bearing of the ASCII glyphs.
    Layout Lay(const char* text, int x, int y, bool mono, int w = 640, int h = 28)
    {
        Layout out;
        out.w = w;
        out.h = h;
        out.cov.assign(size_t(w) * size_t(h), 0);
        std::vector<bool> owner(out.cov.size(), false);
        int shift = 0;
        for (unsigned c = 32; c <= 126; c++)
            if (Load(c, mono))
                shift = std::max(shift, -m_face->glyph->bitmap_left);
        int pen = x + shift;
        for (const char* p = text; *p; p++) {
            if (!Load((unsigned char)*p, mono)) {
                out.problem = std::string("no glyph for ") + *p;
                return out;
            }
            const FT_GlyphSlot g = m_face->glyph;
            const FT_Bitmap& b = g->bitmap;
            for (unsigned r = 0; r < b.rows; r++)
                for (unsigned c = 0; c < b.width; c++) {
                    const unsigned char* row = b.buffer + long(r) * b.pitch;
                    const int v = b.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[c >> 3] >> (7 - (c & 7))) & 1) * 255
                                                                     : row[c];
                    const int px = pen + g->bitmap_left + int(c), py = y + kAscent - g->bitmap_top + int(r);
                    if (px < 0 || py < 0 || px >= w || py >= h) {
                        if (v) {
                            out.problem = "text leaves the area";
                            return out;
                        }
                        continue;
                    }
                    const size_t at = size_t(py) * size_t(w) + size_t(px);
                    if (owner[at]) {
                        out.problem = std::string("glyphs overlap at ") + *p;
                        return out;
                    }
                    owner[at] = true;
                    out.cov[at] = uint8_t(v);
                }
            pen += int((g->advance.x + 32) >> 6);
        }
        out.advance = pen - x - shift;
        out.ok = true;
        return out;
    }

private:
    bool Load(unsigned c, bool mono)
    {
        const FT_Int32 flags =
            FT_LOAD_RENDER | (mono ? (FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) : FT_LOAD_TARGET_NORMAL);
        return !FT_Load_Char(m_face, c, flags);
    }

    FT_Library m_lib = nullptr;
    FT_Face m_face = nullptr;
};

} // namespace fonttest
