// A small text description of a song, compiled into a PMOD module and, for
// checking against other players, into an XM module. The syntax is in
// docs/formats/pmod.md ("Song text").
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/lib/pmodwriter.h"

struct SongSample {
    std::vector<int16_t> pcm; // mono
    bool sixteen = true;      // stored as 16-bit (else 8-bit)
    int volume = 256;
    int loopType = 0; // 0 none, 1 forward, 2 ping-pong
    uint32_t loopStart = 0, loopEnd = 0;
    int relNote = 0;
    int fineTune = 0;
    int panning = 128;
    int c2rate = 8363; // type 2 (S3M) middle-C rate
};

struct SongText {
    PmodSong pmod;                  // samples filled as PSND records
    std::vector<SongSample> samples; // the same samples as PCM
    std::string name;
};

// Parses a song; baseDir resolves "wav" sample paths. False with *err (line
// number and reason) on a syntax error.
bool SongParse(const std::string& text, const std::string& baseDir, SongText* out, std::string* err);

// The same song as an XM module (type 1 songs only; effects mapped to their
// XM counterparts; envelopes of at most 12 points).
bool SongToXm(const SongText& song, std::vector<uint8_t>* out, std::string* err);

// Engine note number (1-132) of a name such as "C-4" or "F#2"; 0 if invalid.
int SongNote(const std::string& name);
