// The aircraft catalogue: the definitions data\planes\config1.txt,
// config2.txt, ... (layout in docs/formats/planecfg.md) read into
// PlaneConfig records whose scenes are loaded into the scene manager, and the
// placing of one aircraft's model (PlaneScene) in a level.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/runtime/pmath3d.h"

class MyAirplane;
class P3DAnim;
class P3DGameEngine;
class PlaneScene;

// One aircraft, or one level of detail of it.
class PlaneConfig {
public:
    // Most rotor files and rotor null points of one aircraft or level.
    static constexpr int kMaxRotors = 3;
    static constexpr int kMaxRotorNulls = 4;
    static constexpr int32_t kDefaultRate1 = 4725;
    static constexpr int32_t kDefaultRate2 = 11025;

    const char* GetPlaneName() const { return name.c_str(); }
    int GetPlaneSpeed() const { return speed; }
    int GetPlaneArmour() const { return armour; }
    // Replaces the levels of detail with n empty ones.
    void SetLodsCount(int n);

    int32_t sceneIndex = 0;
    std::string folder;     // ends in a backslash
    std::string modelsPath; // folder + "models\"
    std::string scenePath;  // folder + "scenes\" + scene file
    std::vector<std::string> rotorPaths;
    // Per rotor of a level of detail: the aircraft's own rotor it reuses,
    // or -1 when it names a file of its own.
    std::vector<int8_t> rotorReuse;
    std::vector<std::string> rotorNulls;
    std::string gunfire, flapLeft, flapRight, rudder;
    std::vector<int32_t> rotorScenes;
    std::string name;
    int8_t armour = 0, speed = 0;
    int32_t engineRate1 = kDefaultRate1, engineRate2 = kDefaultRate2;
    int32_t preset = 0;
    std::vector<std::unique_ptr<PlaneConfig>> lods;
};

class PlanesManager {
public:
    // Longest text of a name or model line, of the folder line, and of the
    // second engine rate.
    static constexpr int kMaxLine = 63;
    static constexpr int kMaxFolder = 127;
    static constexpr int kMaxRate = 11;
    // Largest definition file read.
    static constexpr int kMaxFileSize = 1 << 16;

    // engine may be null: the definitions are read, no scene is loaded.
    explicit PlanesManager(P3DGameEngine* engine);
    ~PlanesManager();
    PlanesManager(PlanesManager const&) = delete;
    PlanesManager& operator=(PlanesManager const&) = delete;

    // Loads dir + prefix + N + suffix for N = 1, 2, ... until one fails;
    // the number loaded.
    int LoadPlaneCfgFiles(const char* dir, const char* prefix, const char* suffix);
    // 1 when the file was read and added; 0 when it does not open, is empty
    // or is malformed (the reason is logged).
    int LoadPlaneCfgFile(const char* path);
    // The checked reading of a definition's bytes: the configuration with
    // its paths and levels of detail (no scene loaded), or null with the
    // reason logged.
    static std::unique_ptr<PlaneConfig> ParseConfig(const char* data, int size);

    // Copies the line at pos (up to LF or the end of the data, without its
    // CR) into out and moves pos past the LF. Its length, or -1 (pos
    // unchanged) when it does not fit in outSize - 1 characters.
    static int ReadNextLine(const char* buffer, int& pos, int size, char* out, int outSize);
    // i when the line at pos is "REUSE=" and the digit i (pos moves past the
    // line); -1 otherwise (pos unchanged).
    static int IsReuse(const char* buffer, int& pos, int size);
    static std::string GetConcatenatedString(const char* a, const char* b) { return std::string(a) + b; }

    // Appends a configuration (null is ignored).
    void AddPlane(std::unique_ptr<PlaneConfig> config);
    void RemoveAllPlaneConfigs();
    int Count() const { return int(configs.size()); }
    PlaneConfig* Get(int i) const { return i >= 0 && i < Count() ? configs[size_t(i)].get() : nullptr; }
    int GetIndexOfPlaneScene(int i) const;
    // Builds aircraft i's model in ps, plugged on the level's null point of
    // that name; the variant picks the rotor file (0 in play, 1 in the
    // profile screens; a variant the aircraft lacks falls back to 0). 0 when
    // i names no aircraft (ps unchanged).
    // The aircraft takes its ratings from its model and its control preset
    // from the model's preset (clamped to 0..3).
    void UpdateAirplaneData(MyAirplane* plane) const;
    int SetNewPlaneOnScene(int i, PlaneScene* ps, P3DAnim* level, const char* nullName, const PVector3& position,
                           const PVector3& angles, int variant);

    P3DGameEngine* engine = nullptr;
    std::vector<std::unique_ptr<PlaneConfig>> configs;
};
