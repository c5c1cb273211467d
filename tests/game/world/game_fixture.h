// Shared by the game's tests: a scratch directory that the game's relative
// file names resolve into, and drawing contexts on Mesa's OpenGL ES 1.1
// (headless pbuffer) and on the software renderer's RGB565 memory display,
// both read back as 0xRRGGBB per pixel, top row first.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/graphics/p3d.h"
#include "tests/engine/graphics/p3d_fixtures.h"
#include "tests/gl/software/memory_display.h"
#include "tools/lib/pam_writer.h"

namespace gametest {

// A scratch directory that VORNAPP_SAVEPATH points at while it lives (the
// install directory points at an empty folder inside it); both variables
// get their old values back afterwards.
class ScratchDir {
public:
    ScratchDir()
    {
        char tmpl[] = "/tmp/krv_game_XXXXXX";
        const char* made = ::mkdtemp(tmpl);
        path = made ? made : "";
        Save("VORNAPP_SAVEPATH", path + "/", 0);
        Save("VORNAPPPATH", path + "/app/", 1);
    }
    ~ScratchDir()
    {
        for (int i = 0; i < 2; i++)
            if (m_had[i])
                ::setenv(kVars[i], m_old[i].c_str(), 1);
            else
                ::unsetenv(kVars[i]);
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string Full(const std::string& rel) const { return path + "/" + rel; }

    // Writes a file under the directory, its folders made first.
    void Put(const std::string& rel, const std::string& bytes) const
    {
        const std::string full = Full(rel);
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream out(full, std::ios::binary);
        out.write(bytes.data(), long(bytes.size()));
        ASSERT_TRUE(out.good()) << full;
    }
    void Put(const std::string& rel, const std::vector<uint8_t>& bytes) const
    {
        Put(rel, std::string(bytes.begin(), bytes.end()));
    }
    void Write(const std::string& rel, const std::vector<uint8_t>& bytes) const { Put(rel, bytes); }
    void PutScene(const std::string& rel, const PamScene& s) const
    {
        std::vector<uint8_t> bytes;
        std::string err;
        ASSERT_TRUE(PamWrite(s, &bytes, &err)) << err;
        Put(rel, bytes);
    }
    std::vector<uint8_t> Read(const std::string& rel) const
    {
        std::ifstream in(Full(rel), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    bool Exists(const std::string& rel) const { return std::filesystem::exists(Full(rel)); }

    std::string path;

private:
    static constexpr const char* kVars[2] = {"VORNAPP_SAVEPATH", "VORNAPPPATH"};
    void Save(const char* var, const std::string& value, int i)
    {
        const char* old = std::getenv(var);
        m_had[i] = old != nullptr;
        if (old)
            m_old[i] = old;
        ::setenv(var, value.c_str(), 1);
    }
    std::string m_old[2];
    bool m_had[2] = {};
};

// Mesa's OpenGL ES 1.1 in a w x h pbuffer.
struct MesaContext : p3dtest::Mesa {
    MesaContext(int width, int height) : p3dtest::Mesa(width, height) {}
    std::vector<uint32_t> Read() const
    {
        const auto f = p3dtest::Mesa::Read();
        std::vector<uint32_t> out(size_t(w) * h);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                out[size_t(y) * w + x] = At(f, x, y);
        return out;
    }
};

// The software renderer over a memory display (565 widened to 8 bits).
struct SoftContext {
    swtest::MemoryDisplay display;
    P3D* ctx = nullptr;
    SoftContext(int w, int h) : display(w, h) { ctx = P3D::Create(&display, nullptr); }
    ~SoftContext() { delete ctx; }
    SoftContext(const SoftContext&) = delete;
    SoftContext& operator=(const SoftContext&) = delete;
    std::vector<uint32_t> Read()
    {
        const PBackBuffer& b = display.Buffer();
        std::vector<uint32_t> out(size_t(b.width) * b.height);
        for (int y = 0; y < b.height; y++)
            for (int x = 0; x < b.width; x++) {
                const uint16_t p = b.pixels[size_t(y) * (b.pitch / 2) + x];
                const uint32_t r = p >> 11, g = (p >> 5) & 63, bl = p & 31;
                out[size_t(y) * b.width + x] =
                    (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (bl << 3 | bl >> 2);
            }
        return out;
    }
};

} // namespace gametest
