// Plain PCM WAV files (RIFF/WAVE, format 1, 8-bit unsigned or 16-bit signed
// little-endian): read and written by the sound tools and the tests.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct WavData {
    int bits = 16;
    int channels = 1;
    int rate = 44100;
    std::vector<uint8_t> data; // interleaved sample bytes as stored

    size_t Frames() const { return data.size() / size_t(bits / 8 * channels); }
    // Sample of a frame and channel as a signed 16-bit value (8-bit samples
    // are centred and shifted up by 8).
    int Sample16(size_t frame, int channel) const;
};

// Parses a WAV image; false (with *error set) for anything but PCM of 8 or 16
// bits and 1 or 2 channels.
bool WavParse(const uint8_t* bytes, size_t size, WavData* out, std::string* error);
bool WavRead(const char* path, WavData* out, std::string* error);
std::vector<uint8_t> WavBuild(const WavData& wav);
// Writes through a temporary file renamed over the target.
bool WavWrite(const char* path, const WavData& wav);
