// The tests' PNG reference decoder: libpng, which checks every chunk's CRC.
// 8-bit RGB or RGBA as stored, or as asked (channels 3 or 4).
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

struct TestImage {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> pixels; // rows top-down, no padding
    uint8_t const* At(int x, int y) const { return pixels.data() + (size_t(y) * width + x) * channels; }
};

// Finishes a read begun on img (a file or memory).
inline bool FinishTestPng(png_image& img, TestImage* out, int channels)
{
    bool alpha = channels ? channels == 4 : (img.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    img.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    out->width = int(img.width);
    out->height = int(img.height);
    out->channels = alpha ? 4 : 3;
    out->pixels.assign(PNG_IMAGE_SIZE(img), 0);
    bool ok = png_image_finish_read(&img, nullptr, out->pixels.data(), 0, nullptr) != 0;
    png_image_free(&img);
    return ok;
}

inline bool ReadTestPng(std::string const& path, TestImage* out, int channels = 0)
{
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    return png_image_begin_read_from_file(&img, path.c_str()) && FinishTestPng(img, out, channels);
}

inline bool DecodeTestPng(std::vector<uint8_t> const& file, TestImage* out, int channels = 0)
{
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    return png_image_begin_read_from_memory(&img, file.data(), file.size()) && FinishTestPng(img, out, channels);
}
