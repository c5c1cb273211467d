// Writer of PMOD music modules (byte layout: docs/formats/pmod.md).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct PmodEnvelope {
    int type = 0;  // 0 volume, 1 panning
    int flags = 0; // 1 loop, 2 sustain, 128 fade at each loop wrap after release
    int sustain = 0, loopStart = 0, loopEnd = 0; // point indexes
    std::vector<std::pair<uint16_t, uint16_t>> points; // (tick, value 0-256)
};

struct PmodInstrument {
    uint8_t kept = 0;
    std::vector<uint8_t> map; // sample index (0-based) for notes 13..108, 255 none
    uint16_t fadeout = 0;
    uint8_t vibType = 0, vibSweep = 0, vibDepth = 0, vibRate = 0;
    std::vector<PmodEnvelope> envelopes;
};

struct PmodPattern {
    int rows = 64;
    std::vector<uint8_t> cells; // rows x channels x 5: note, instrument, effect, parameter, volume column
};

struct PmodSong {
    uint32_t flags = 0; // bits 28-31 type; 1 linear, 2 slides on tick 0, 4 panning table
    int speed = 6;
    int tempo = 125;
    int restart = 0;
    int channels = 4;
    int globalVolume = 256;
    uint32_t lowPeriod = 1;
    uint32_t highPeriod = 0x7FFFFFFF;
    bool perPatternRows = false; // write a row table instead of one row count
    std::vector<uint8_t> orders;
    std::vector<uint16_t> panning; // written when flags has 4
    std::vector<PmodPattern> patterns;
    std::vector<std::vector<uint8_t>> samples; // PSND records with their magic
    std::vector<PmodInstrument> instruments;
    int extraHeaderBytes = 0;

    // The cell of a pattern, row and channel (5 bytes).
    uint8_t* Cell(int pattern, int row, int channel)
    {
        return &patterns[size_t(pattern)].cells[(size_t(row) * size_t(channels) + size_t(channel)) * 5];
    }
};

// The module file, padded to the 500 bytes a reader requires; false (with
// *err) when the song does not fit the format.
bool PmodBuild(const PmodSong& song, std::vector<uint8_t>* out, std::string* err);
