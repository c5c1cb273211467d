// A rectangle in pixels: position and size, signed 32-bit each. The GL layer
// keeps its viewport in one; the graphics engine uses the same type.
#pragma once
#include <cstdint>

struct PRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};
