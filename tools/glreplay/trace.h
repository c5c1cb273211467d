// Text traces of GL ES 1.x calls.
//
//   # comment
//   array NAME TYPE v1 v2 ...   client memory; TYPE byte, ubyte, short, ushort,
//                               int, uint, fixed (16.16 integers) or float
//   image NAME FILE.png         RGBA bytes of a PNG (relative to the trace),
//                               NAME.w and NAME.h are its size
//   glName arg arg ...          one GL call: integers (decimal or 0x hex),
//                               floats with a decimal point, GL_ enum names,
//                               @NAME or @NAME+OFFSET (bytes), null, NAME[i]
//                               (element i of an array when the call is made,
//                               e.g. a texture name glGenTextures wrote)
//   frame                       end of a frame (presentation)
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace glreplay {

enum class ArgKind { Int, Float, Pointer, Null, Element };

struct Arg {
    ArgKind kind = ArgKind::Int;
    int64_t i = 0;      // Int
    double f = 0;       // Float
    int array = -1;     // Pointer, Element: index into Trace::arrays
    int64_t offset = 0; // Pointer: byte offset; Element: element index
};

struct Call {
    std::string name; // GL entry point, or "frame"
    std::vector<Arg> args;
    int line = 0;
};

enum class ElemType { Byte, UByte, Short, UShort, Int, UInt, Fixed, Float };

struct Array {
    std::string name;
    ElemType type = ElemType::UByte;
    std::vector<uint8_t> bytes;
    int width = 0, height = 0; // images only
};

struct Trace {
    std::vector<Array> arrays;
    std::vector<Call> calls;
    int FindArray(std::string const& name) const;
    int FrameCount() const;
};

// Parses trace text; images are read relative to baseDir. false with a
// message naming the line on any malformed input.
bool ParseTrace(std::string const& text, std::string const& baseDir, Trace& out, std::string& error);
bool LoadTrace(std::string const& path, Trace& out, std::string& error);

int ElemSize(ElemType t);

// The value of a GL_ enum name of the GL ES 1 headers; false when unknown.
bool LookupEnum(std::string const& name, uint32_t& value);

} // namespace glreplay
