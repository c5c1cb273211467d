// Writer of PSND sound records (byte layout: docs/formats/psnd.md) and the
// IMA ADPCM encoder whose output the engine's decoder reads back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct PsndFields {
    int format = 16;  // 4 IMA ADPCM, 8 8-bit signed PCM, 16 16-bit signed PCM
    int channels = 1; // 1 or 2
    int rate = 44100;
    int volume = 256;
    int priority = 128;
    int copies = 1;
    bool loop = false; // writes loop start and end
    uint32_t loopStart = 0;
    uint32_t loopEnd = 0;
    int loopType = -1;      // -1: not written (1 when a loop is given, else 0)
    int adpcmByte = -1;     // -1: not written (1 for ADPCM data, else 0)
    int64_t samples = -1;   // -1: not written (computed from the data size)
    int panning = -1;       // -1: not written (128)
    int relativeNote = 0;   // written when not 0
    int fineTune = 0;       // written when not 0
    int extraHeaderBytes = 0; // zero bytes appended to the header (skipped by readers)
    bool writeDefaults = false; // write every field even when it holds its default
};

// The record: "PSND" (unless magic is false), size, header length, header,
// then the data bytes as given (already in the record's format).
std::vector<uint8_t> PsndBuild(const PsndFields& f, const void* data, size_t bytes, bool magic = true);

// Encodes 16-bit mono PCM as IMA ADPCM, high nibble first, starting from
// predictor 0 and step index 0 (what the engine's decoder starts from).
std::vector<uint8_t> AdpcmEncode(const int16_t* pcm, size_t samples);
// Decodes it again (for checking).
std::vector<int16_t> AdpcmDecode(const uint8_t* data, size_t samples);
