// PNG files as RGBA bytes, rows top first (libpng; the tool does not use the
// engine's loader).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace glreplay {

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba; // width * height * 4
};

// false with a message when the file cannot be read or decoded.
bool ReadPng(std::string const& path, Image& out, std::string& error);
bool WritePng(std::string const& path, Image const& image, std::string& error);

} // namespace glreplay
