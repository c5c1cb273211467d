// One language text file, data\langN.bin (layout in docs/formats/lang.md):
// the names of its languages and, for the language loaded last, its strings
// in text-id order, each UTF-16 code unit widened to one wchar_t.
//
// Everything in the file is checked before use: a file whose header, name
// block or language table does not fit its size is refused at Init (it then
// has no languages), and a text block that inflates to fewer bytes than its
// entry says reads as zeros, so the strings it lacks are empty. Memory for a
// language's text grows with the bytes that inflation delivers, never with
// the size its entry claims.
#pragma once
#include <cstdint>

class Texts {
public:
    // Size of the fixed header, and of one language table entry.
    static constexpr uint32_t kHeaderSize = 20;
    static constexpr uint32_t kEntrySize = 16;
    // Limits on what a file may claim: inflated bytes of one language and
    // the total size of the name block.
    static constexpr uint32_t kMaxInflated = 16u << 20;
    static constexpr uint32_t kMaxNameBytes = 1u << 20;
    static constexpr uint32_t kMaxLanguages = 1024;

    Texts() = default;
    ~Texts();
    Texts(const Texts&) = delete;
    Texts& operator=(const Texts&) = delete;

    // Reads the header, the language names and the language table of the
    // file; 1 on success, 0 when the file is missing or refused (the object
    // then has no languages).
    int Init(const char* path);
    // Inflates language i of the file into the string block; 0 when i is
    // not a language of the file or the file cannot be read.
    int LoadLanguage(int i, const char* path);

    // The text with that id; an empty text for an id outside 0 .. S-1 or
    // before a language was loaded.
    const wchar_t* operator[](int id) const;
    uint32_t GetLanguageCount() const { return m_languages; }
    uint32_t GetStringCount() const { return m_strings; }
    // The name of language i; empty for a language out of range.
    const wchar_t* GetLanguageName(int i) const;

private:
    struct Entry {
        uint32_t offset;   // of the compressed block, from the start of the file
        uint32_t inflated; // bytes of UTF-16 text
        uint32_t unused;
        uint32_t name;     // index of the name in the name block, in code units
    };

    void Free();

    uint32_t m_languages = 0;
    uint32_t m_strings = 0;
    uint32_t m_reached = 0;      // strings of the loaded language that its text reaches
    uint32_t m_nameUnits = 0;    // code units of the name block
    wchar_t* m_names = nullptr;  // m_nameUnits + 1 characters, the last 0
    wchar_t* m_block = nullptr;  // the loaded language's code units, then a 0
    uint32_t* m_offsets = nullptr; // m_reached + 1 offsets into m_block, behind it in the same allocation
    Entry* m_table = nullptr;
    bool m_loaded = false;
};
