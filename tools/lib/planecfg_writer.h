// Writer of aircraft definition files (configN.txt; layout in
// docs/formats/planecfg.md) and the readable description the planecfg tool
// turns into them.
#pragma once
#include <string>
#include <vector>

// A rotor of a level of detail: a file of its own, or one of the aircraft's
// rotors reused (reuse >= 0).
struct PlaneCfgRotor {
    std::string file;
    int reuse = -1;
    bool operator==(PlaneCfgRotor const&) const = default;
};

struct PlaneCfgLod {
    std::string scene;
    std::vector<PlaneCfgRotor> rotors;
    std::vector<std::string> rotorNulls;
    std::string gunfire, flapLeft = "NULL", flapRight = "NULL", rudder = "NULL";
    bool operator==(PlaneCfgLod const&) const = default;
};

struct PlaneCfg {
    std::string name;
    int armour = 0, speed = 0, controls = 0; // digits 0-9
    std::string rate1, rate2;                // decimal Hz, empty for the defaults
    std::string folder;                      // ends in a backslash
    std::string scene;
    std::vector<std::string> rotors;
    std::vector<std::string> rotorNulls;
    std::string gunfire, flapLeft = "NULL", flapRight = "NULL", rudder = "NULL";
    std::vector<PlaneCfgLod> lods;
    bool operator==(PlaneCfg const&) const = default;
};

// Checks the definition against the reader's limits; false with *err.
bool PlaneCfgCheck(PlaneCfg const& cfg, std::string* err);
// The file's bytes (CR LF line ends); false with *err when the check fails.
bool PlaneCfgWrite(PlaneCfg const& cfg, std::string* out, std::string* err);

// The description: one "key value" a line ('#' starts a comment line):
// name, armour, speed, controls, rate1, rate2, folder, scene, rotor,
// rotor-null, gunfire, flap-left, flap-right, rudder; "lod" starts a level of
// detail whose scene, rotor ("rotor reuse N" reuses the aircraft's rotor N),
// rotor-null and model names follow.
bool PlaneCfgParseText(std::string const& text, PlaneCfg* out, std::string* err);
std::string PlaneCfgFormatText(PlaneCfg const& cfg);
