// Writer of .pam scenes (byte layout in docs/formats/pam.md) and the
// readable text form that the pamwrite tool reads and prints.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Model flag bits.
enum : uint16_t {
    kPamDissolveEnvelope = 0x001,
    kPamDissolve = 0x002,
    kPamAdditive = 0x004,
    kPamHalfAlpha = 0x008,
    kPamTransparent = 0x010,
    kPamBoxColl = 0x020,
    kPamSkybox = 0x040,
    kPamStatic = 0x080,
    kPamPerPoly = 0x100,
    kPamBackground = 0x200,
};

// A key track: (frame, 16.16 value) pairs. Frames lie in -32768..32767.
struct PamTrack {
    std::vector<std::pair<int32_t, int32_t>> keys;
    static PamTrack Constant(int32_t v) { return PamTrack{{{0, v}}}; }
    bool operator==(PamTrack const&) const = default;
};

// Tracks of every object in this order: position X, Y, Z, rotation about Y,
// about Z, about X.
struct PamModel {
    uint16_t flags = 0;
    int mesh = 0;    // index into the mesh names, -1 none
    int parent = -1; // model index, -1 none
    PamTrack tracks[6] = {PamTrack::Constant(0), PamTrack::Constant(0), PamTrack::Constant(0),
                          PamTrack::Constant(0), PamTrack::Constant(0), PamTrack::Constant(0)};
    PamTrack size[3] = {PamTrack::Constant(0), PamTrack::Constant(0), PamTrack::Constant(0)}; // kPamBoxColl
    int32_t dissolveAlpha = 0;                   // kPamDissolve
    PamTrack envelope = PamTrack::Constant(0);   // kPamDissolveEnvelope without kPamDissolve
    bool operator==(PamModel const&) const = default;
};

struct PamNull {
    std::string name;
    PamTrack tracks[6] = {PamTrack::Constant(0), PamTrack::Constant(0), PamTrack::Constant(0),
                          PamTrack::Constant(0), PamTrack::Constant(0), PamTrack::Constant(0)};
    int32_t link = -1; // the model it rides on, -1 none
    bool operator==(PamNull const&) const = default;
};

struct PamCamera {
    int byte = 0; // stored only
    PamTrack tracks[6] = {PamTrack::Constant(0), PamTrack::Constant(0), PamTrack::Constant(0),
                          PamTrack::Constant(0), PamTrack::Constant(0), PamTrack::Constant(0)};
    bool fovConstant = true;
    int32_t fov = 60 << 16;
    PamTrack fovTrack; // when not constant
    bool operator==(PamCamera const&) const = default;
};

struct PamTrigger {
    std::string name;
    PamTrack centre[3] = {PamTrack::Constant(0), PamTrack::Constant(0), PamTrack::Constant(0)};
    bool radiusConstant = true;
    int32_t radius = 1 << 16;
    PamTrack radiusTrack; // when not constant
    bool operator==(PamTrigger const&) const = default;
};

struct PamScene {
    int fps = 25;
    std::vector<std::string> meshes;
    bool skybox = false;              // the sky-box list is written
    std::vector<int32_t> skyboxModels;
    std::vector<PamModel> models;
    bool areas = false;
    int32_t areaSize = 0;
    std::vector<PamNull> nulls;
    bool camera = false;
    PamCamera cam;
    std::vector<PamTrigger> triggers; // the triggers block is written when not empty
    bool operator==(PamScene const&) const = default;
};

// Checks the scene against every rule the engine's reader enforces, sorts
// each track's keys by frame (stable), sets the sky-box flag on the listed
// models, and encodes it. false with *err when the scene would be refused.
bool PamWrite(PamScene scene, std::vector<uint8_t>* out, std::string* err);
// The checks alone (on a scene as given).
bool PamCheck(PamScene const& scene, std::string* err);

// The text form: see tools/pamwrite/README.md. Parse fills *out; false with
// *err (naming the line) on a syntax error.
bool PamParseText(std::string const& text, PamScene* out, std::string* err);
// The canonical text of a scene: every track, keys in file order, values in
// the shortest decimal that reads back exactly.
std::string PamFormatText(PamScene const& scene);
// A 16.16 value in its shortest exact decimal form, and back (rounded to the
// nearest 1/65536; false when malformed or out of range).
std::string PamFormatFixed(int32_t v);
bool PamParseFixed(std::string const& s, int32_t* out);
