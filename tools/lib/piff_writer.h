// Writer of chunk files ("PIFF" with nested "FORM" chunks). Layout:
// docs/formats/piff.md.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class PiffBuilder {
public:
    // Starts a file of the given form type (four characters).
    explicit PiffBuilder(uint32_t formType);

    void Chunk(uint32_t id, void const* data, size_t size);
    void Chunk(uint32_t id, std::vector<uint8_t> const& data) { Chunk(id, data.data(), data.size()); }
    // Opens a nested "FORM" chunk of the given type; chunks go into it until
    // EndForm.
    void BeginForm(uint32_t formType);
    void EndForm();

    // The file with every size filled in (open forms are closed).
    std::vector<uint8_t> Finish();

private:
    std::vector<uint8_t> m_bytes;
    std::vector<size_t> m_open; // offsets of the size fields of open forms
};
