#include "tools/lib/planecfg_writer.h"

#include <sstream>

namespace {

// The reader's limits.
constexpr size_t kMaxLine = 63, kMaxFolder = 127, kMaxRate = 11;
constexpr size_t kMaxRotors = 3, kMaxNulls = 4, kMaxLods = 9;

bool Bad(std::string* err, std::string const& what)
{
    if (err)
        *err = what;
    return false;
}

bool CheckLine(std::string const& s, size_t max, bool nonEmpty, std::string const& what, std::string* err)
{
    if (s.size() > max)
        return Bad(err, what + " is longer than " + std::to_string(max) + " characters");
    if (nonEmpty && s.empty())
        return Bad(err, what + " is empty");
    if (s.find_first_of("\r\n") != std::string::npos)
        return Bad(err, what + " holds a line break");
    return true;
}

bool CheckRate(std::string const& s, size_t max, std::string const& what, std::string* err)
{
    if (s.size() > max || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos ||
        (!s.empty() && std::stol(s) == 0))
        return Bad(err, what + " is not a positive decimal number of at most " + std::to_string(max) + " digits");
    return true;
}

bool CheckParts(std::vector<std::string> const& nulls, std::string const& gunfire, std::string const& fl,
                std::string const& fr, std::string const& rudder, std::string* err)
{
    if (nulls.size() > kMaxNulls)
        return Bad(err, "more than 4 rotor null points");
    for (auto const& n : nulls)
        if (!CheckLine(n, kMaxLine, true, "a rotor null-point name", err))
            return false;
    return CheckLine(gunfire, kMaxLine, false, "the gun-fire model", err) &&
           CheckLine(fl, kMaxLine, false, "the left flap model", err) &&
           CheckLine(fr, kMaxLine, false, "the right flap model", err) &&
           CheckLine(rudder, kMaxLine, false, "the rudder model", err);
}

void Put(std::string& out, std::string const& line)
{
    out += line;
    out += "\r\n";
}

void PutParts(std::string& out, std::vector<std::string> const& nulls, std::string const& gunfire,
              std::string const& fl, std::string const& fr, std::string const& rudder)
{
    Put(out, std::to_string(nulls.size()));
    for (auto const& n : nulls)
        Put(out, n);
    Put(out, gunfire);
    Put(out, fl);
    Put(out, fr);
    Put(out, rudder);
}

} // namespace

bool PlaneCfgCheck(PlaneCfg const& c, std::string* err)
{
    if (!CheckLine(c.name, kMaxLine, true, "the name", err))
        return false;
    for (int d : {c.armour, c.speed, c.controls})
        if (d < 0 || d > 9)
            return Bad(err, "a rating is not a digit");
    if (!CheckRate(c.rate1, kMaxLine, "rate1", err) || !CheckRate(c.rate2, kMaxRate, "rate2", err) ||
        !CheckLine(c.folder, kMaxFolder, false, "the folder", err) ||
        !CheckLine(c.scene, kMaxLine, true, "the scene", err))
        return false;
    if (c.rotors.size() > kMaxRotors)
        return Bad(err, "more than 3 rotors");
    for (auto const& r : c.rotors)
        if (!CheckLine(r, kMaxLine, true, "a rotor file", err))
            return false;
    if (!CheckParts(c.rotorNulls, c.gunfire, c.flapLeft, c.flapRight, c.rudder, err))
        return false;
    if (c.lods.size() > kMaxLods)
        return Bad(err, "more than 9 levels of detail");
    for (auto const& l : c.lods) {
        if (!CheckLine(l.scene, kMaxLine, true, "a level's scene", err))
            return false;
        if (l.rotors.size() > kMaxRotors)
            return Bad(err, "a level has more than 3 rotors");
        for (auto const& r : l.rotors) {
            if (r.reuse >= 0) {
                if (r.reuse >= int(c.rotors.size()) || r.reuse > 9)
                    return Bad(err, "a level reuses a rotor the aircraft does not have");
            } else if (!CheckLine(r.file, kMaxLine, true, "a level's rotor file", err)) {
                return false;
            } else if (r.file.rfind("REUSE=", 0) == 0) {
                return Bad(err, "a level's rotor file begins with REUSE=");
            }
        }
        if (!CheckParts(l.rotorNulls, l.gunfire, l.flapLeft, l.flapRight, l.rudder, err))
            return false;
    }
    return true;
}

bool PlaneCfgWrite(PlaneCfg const& c, std::string* out, std::string* err)
{
    if (!PlaneCfgCheck(c, err))
        return false;
    std::string s;
    Put(s, c.name);
    // Fixed-length keys: the reader takes the digits at fixed places.
    Put(s, "ARMOUR=" + std::to_string(c.armour));
    Put(s, "SPEED=" + std::to_string(c.speed));
    Put(s, "CONTROLS=" + std::to_string(c.controls));
    Put(s, c.rate1);
    Put(s, c.rate2);
    Put(s, c.folder);
    Put(s, c.scene);
    Put(s, std::to_string(c.rotors.size()));
    for (auto const& r : c.rotors)
        Put(s, r);
    PutParts(s, c.rotorNulls, c.gunfire, c.flapLeft, c.flapRight, c.rudder);
    Put(s, "LODS=" + std::to_string(c.lods.size()));
    for (size_t k = 0; k < c.lods.size(); k++) {
        auto const& l = c.lods[k];
        Put(s, "LOD" + std::to_string(k + 1));
        Put(s, l.scene);
        Put(s, std::to_string(l.rotors.size()));
        for (auto const& r : l.rotors)
            Put(s, r.reuse >= 0 ? "REUSE=" + std::to_string(r.reuse) : r.file);
        PutParts(s, l.rotorNulls, l.gunfire, l.flapLeft, l.flapRight, l.rudder);
    }
    *out = s;
    return true;
}

bool PlaneCfgParseText(std::string const& text, PlaneCfg* out, std::string* err)
{
    PlaneCfg c;
    PlaneCfgLod* lod = nullptr;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    auto fail = [&](std::string const& what) { return Bad(err, "line " + std::to_string(number) + ": " + what); };
    while (std::getline(in, line)) {
        number++;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        size_t space = line.find(' ', start);
        std::string key = line.substr(start, space == std::string::npos ? std::string::npos : space - start);
        std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        auto digit = [&](int* d) {
            if (value.size() != 1 || value[0] < '0' || value[0] > '9')
                return fail(key + " takes one digit");
            *d = value[0] - '0';
            return true;
        };
        if (key == "lod") {
            c.lods.emplace_back();
            lod = &c.lods.back();
        } else if (key == "name" && !lod) {
            c.name = value;
        } else if (key == "armour" && !lod) {
            if (!digit(&c.armour))
                return false;
        } else if (key == "speed" && !lod) {
            if (!digit(&c.speed))
                return false;
        } else if (key == "controls" && !lod) {
            if (!digit(&c.controls))
                return false;
        } else if (key == "rate1" && !lod) {
            c.rate1 = value;
        } else if (key == "rate2" && !lod) {
            c.rate2 = value;
        } else if (key == "folder" && !lod) {
            c.folder = value;
        } else if (key == "scene") {
            (lod ? lod->scene : c.scene) = value;
        } else if (key == "rotor") {
            if (!lod) {
                c.rotors.push_back(value);
            } else if (value.rfind("reuse ", 0) == 0) {
                std::string n = value.substr(6);
                if (n.size() != 1 || n[0] < '0' || n[0] > '9')
                    return fail("rotor reuse takes one digit");
                lod->rotors.push_back({"", n[0] - '0'});
            } else {
                lod->rotors.push_back({value, -1});
            }
        } else if (key == "rotor-null") {
            (lod ? lod->rotorNulls : c.rotorNulls).push_back(value);
        } else if (key == "gunfire") {
            (lod ? lod->gunfire : c.gunfire) = value;
        } else if (key == "flap-left") {
            (lod ? lod->flapLeft : c.flapLeft) = value;
        } else if (key == "flap-right") {
            (lod ? lod->flapRight : c.flapRight) = value;
        } else if (key == "rudder") {
            (lod ? lod->rudder : c.rudder) = value;
        } else {
            return fail("unknown key \"" + key + "\"" + (lod ? " in a level of detail" : ""));
        }
    }
    *out = c;
    return true;
}

std::string PlaneCfgFormatText(PlaneCfg const& c)
{
    std::string s;
    auto kv = [&](std::string const& k, std::string const& v) { s += k + " " + v + "\n"; };
    kv("name", c.name);
    kv("armour", std::to_string(c.armour));
    kv("speed", std::to_string(c.speed));
    kv("controls", std::to_string(c.controls));
    kv("rate1", c.rate1);
    kv("rate2", c.rate2);
    kv("folder", c.folder);
    kv("scene", c.scene);
    for (auto const& r : c.rotors)
        kv("rotor", r);
    auto parts = [&](std::vector<std::string> const& nulls, std::string const& g, std::string const& fl,
                     std::string const& fr, std::string const& ru) {
        for (auto const& n : nulls)
            kv("rotor-null", n);
        kv("gunfire", g);
        kv("flap-left", fl);
        kv("flap-right", fr);
        kv("rudder", ru);
    };
    parts(c.rotorNulls, c.gunfire, c.flapLeft, c.flapRight, c.rudder);
    for (auto const& l : c.lods) {
        s += "lod\n";
        kv("scene", l.scene);
        for (auto const& r : l.rotors)
            kv("rotor", r.reuse >= 0 ? "reuse " + std::to_string(r.reuse) : r.file);
        parts(l.rotorNulls, l.gunfire, l.flapLeft, l.flapRight, l.rudder);
    }
    return s;
}
