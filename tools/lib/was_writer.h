// Writer of weapon record files (wpnN.was; layout in docs/formats/was.md) and
// the readable description the wasgen tool turns into them.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct WasRecord {
    int32_t lead = 0;
    int type = 0;               // 0 shot, 1 bomb, 2 rocket, 3 torpedo, 4 burst
    int pair = 0, alternate = 0, life = 0, groundImpact = 0, damage = 0;
    int reloadMs = 0;           // stored in units of 10 ms
    int32_t hitRadius = 0, speed = 0, drift = 0, gravity = 0; // 16.16 except speed
    int32_t muzzleSide = 0, muzzleDown = 0, quadWidth = 0, quadHeight = 0;
    std::vector<std::array<int32_t, 8>> frames; // shots only: four (u, v) pairs, 16.16
    bool operator==(WasRecord const&) const = default;
};

// The record's bytes; false with *err when a value does not fit its field.
bool WasWrite(WasRecord const& r, std::vector<uint8_t>* out, std::string* err);

// The description: one "key value" a line ('#' starts a comment line):
// type (shot, bomb, rocket, torpedo, burst), pair, alternate, life,
// ground-impact, damage, reload (ms), speed (integer rate), and the decimal
// world values hit-radius, drift, gravity, muzzle-side, muzzle-down,
// quad-width, quad-height; "frame" followed by eight decimal texture
// coordinates adds a texture frame.
bool WasParseText(std::string const& text, WasRecord* out, std::string* err);
std::string WasFormatText(WasRecord const& r);
