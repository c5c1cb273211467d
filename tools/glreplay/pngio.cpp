#include "tools/glreplay/pngio.h"

#include <png.h>

#include <cstdio>
#include <cstring>

namespace glreplay {

bool ReadPng(std::string const& path, Image& out, std::string& error)
{
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) {
        error = path + ": " + img.message;
        return false;
    }
    if (img.width == 0 || img.height == 0 || img.width > 8192 || img.height > 8192) {
        png_image_free(&img);
        error = path + ": image size out of range";
        return false;
    }
    img.format = PNG_FORMAT_RGBA;
    out.width = static_cast<int>(img.width);
    out.height = static_cast<int>(img.height);
    out.rgba.assign(PNG_IMAGE_SIZE(img), 0);
    if (!png_image_finish_read(&img, nullptr, out.rgba.data(), 0, nullptr)) {
        error = path + ": " + img.message;
        png_image_free(&img);
        return false;
    }
    return true;
}

bool WritePng(std::string const& path, Image const& image, std::string& error)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.rgba.size() != size_t(image.width) * size_t(image.height) * 4) {
        error = "no image to write";
        return false;
    }
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = static_cast<png_uint_32>(image.width);
    img.height = static_cast<png_uint_32>(image.height);
    img.format = PNG_FORMAT_RGBA;
    // Through a temporary file, renamed over the target when complete.
    std::string tmp = path + ".tmp";
    if (!png_image_write_to_file(&img, tmp.c_str(), 0, image.rgba.data(), 0, nullptr)) {
        error = path + ": " + img.message;
        std::remove(tmp.c_str());
        return false;
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        error = path + ": cannot rename the written file";
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace glreplay
