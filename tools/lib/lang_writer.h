// Writer of language text files langN.bin (byte layout in
// docs/formats/lang.md), and the reader of their UTF-8 text tables.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/lib/plzp_writer.h"

// One language: its name and its strings in text-id order (UTF-16).
struct LangLanguage {
    std::u16string name;
    std::vector<std::u16string> strings;
};

// Writes the languages into *out. Every language gets the string count of
// the longest one (missing strings are empty). Each text block is written
// in the given form (zlib data, or with the "PLZP" header). False, with
// *err, when a string holds a NUL or a size does not fit the file.
bool LangEncode(const std::vector<LangLanguage>& languages, PlzpForm form, std::vector<uint8_t>* out,
                std::string* err);

// Reads one language's text table (UTF-8):
//   # a comment (lines starting with '#'), blank lines are skipped
//   language NAME        the language's name (once, before the texts)
//   strings N            at least N strings (ids 0 .. N-1), optional
//   ID TEXT              text id ID (decimal) and its text: the rest of the
//                        line after one space or tab
// In a text, "\n" is a line feed and "\\" a backslash; any other backslash
// is an error. Ids may come in any order but only once; ids not given are
// empty. Characters must lie in the Basic Multilingual Plane. False, with
// *err naming the line, on any fault.
bool LangParseTable(const std::string& text, LangLanguage* out, std::string* err);

// The inverse of LangParseTable: a table that parses back to the language
// (empty strings are left out; "strings" keeps their count).
std::string LangFormatTable(const LangLanguage& language);

// UTF-16 and UTF-8 conversions of the table reader; false on malformed
// UTF-8 or a character outside the Basic Multilingual Plane.
bool LangUtf8ToUtf16(const std::string& in, std::u16string* out);
std::string LangUtf16ToUtf8(const std::u16string& in);
