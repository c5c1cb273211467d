// Writer of compiled mission scripts (layout: docs/formats/mission-script.md).
// The model mirrors the file: blocks of lines, each line a keyword index,
// the keyword, its values already encoded by their declared types, and for
// an array keyword its element blocks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace scriptbin {

struct Value {
    enum Kind { kString, kInt, kByte };
    Kind kind = kString;
    std::string text; // kString; empty is stored as length 0
    int32_t number = 0; // kInt, kByte (0 or 1)

    static Value Str(std::string s) { return Value{kString, std::move(s), 0}; }
    static Value Int(int32_t v) { return Value{kInt, {}, v}; }
    static Value Bool(bool b) { return Value{kByte, {}, b ? 1 : 0}; }
};

struct Block;

struct Line {
    int32_t index = 0;
    std::string keyword;
    std::vector<Value> values;
    bool isArray = false;
    std::vector<Block> elements; // only with isArray
};

struct Block {
    std::string type; // "define" for a top-level block, empty for an element
    std::string name; // empty for an element
    std::vector<Line> lines;
};

// Appends the compiled form of the blocks; false (with *err) when a string
// is longer than the 255 bytes the format stores.
bool Encode(std::vector<Block> const& blocks, std::vector<uint8_t>& out, std::string* err);
// Encodes and writes the file through a temporary file.
bool Write(std::string const& path, std::vector<Block> const& blocks, std::string* err);

} // namespace scriptbin
