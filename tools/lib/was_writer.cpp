#include "tools/lib/was_writer.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

constexpr int kHeader = 57;
constexpr char const* kTypes[] = {"shot", "bomb", "rocket", "torpedo", "burst"};

void Put32(std::vector<uint8_t>& o, int32_t v)
{
    for (int i = 0; i < 4; i++)
        o.push_back(uint8_t(uint32_t(v) >> (8 * i)));
}

bool Byte(int v, char const* what, std::string* err)
{
    if (v >= 0 && v <= 255)
        return true;
    *err = std::string(what) + " must be 0 to 255";
    return false;
}

std::string Fixed(int32_t v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.5f", v / 65536.0);
    std::string s = b;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.')
        s.pop_back();
    return s;
}

bool ParseFixed(std::string const& t, int32_t* out)
{
    char* end = nullptr;
    double d = std::strtod(t.c_str(), &end);
    if (t.empty() || *end || !(std::fabs(d) < 32768.0))
        return false;
    *out = int32_t(std::lround(d * 65536.0));
    return true;
}

bool ParseInt(std::string const& t, int* out)
{
    char* end = nullptr;
    long v = std::strtol(t.c_str(), &end, 10);
    if (t.empty() || *end || v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = int(v);
    return true;
}

} // namespace

bool WasWrite(WasRecord const& r, std::vector<uint8_t>* out, std::string* err)
{
    if (r.type < 0 || r.type > 4) {
        *err = "type must be 0 to 4";
        return false;
    }
    if (!Byte(r.pair, "pair", err) || !Byte(r.alternate, "alternate", err) || !Byte(r.life, "life", err) ||
        !Byte(r.groundImpact, "ground-impact", err) || !Byte(r.damage, "damage", err))
        return false;
    if (r.reloadMs < 0 || r.reloadMs > 2550 || r.reloadMs % 10) {
        *err = "reload must be a multiple of 10 ms up to 2550";
        return false;
    }
    // The motion ranges the game's reader accepts (docs/formats/was.md).
    struct Range {
        char const* name;
        int32_t value, low, high;
    } const ranges[] = {
        {"hit-radius", r.hitRadius, 0, 64 << 16},
        {"speed", r.speed, 0, 1000000},
        {"drift", r.drift, -(64 << 16), 64 << 16},
        {"gravity", r.gravity, -(16 << 16), 16 << 16},
        {"muzzle-side", r.muzzleSide, -(1024 << 16), 1024 << 16},
        {"muzzle-down", r.muzzleDown, -(1024 << 16), 1024 << 16},
        {"quad-width", r.quadWidth, -(256 << 16), 256 << 16},
        {"quad-height", r.quadHeight, -(256 << 16), 256 << 16},
    };
    for (Range const& g : ranges)
        if (g.value < g.low || g.value > g.high) {
            bool rate = g.value == r.speed && g.high == 1000000; // speed is an integer rate
            *err = std::string(g.name) + " must lie in " + (rate ? std::to_string(g.low) : Fixed(g.low)) + " .. " +
                   (rate ? std::to_string(g.high) : Fixed(g.high));
            return false;
        }
    if (r.frames.size() > 255 || (r.type != 0 && !r.frames.empty())) {
        *err = "only shots have texture frames, at most 255";
        return false;
    }
    std::vector<uint8_t>& o = *out;
    o.clear();
    Put32(o, r.lead);
    uint8_t head[13] = {uint8_t(r.type), 0, 0, uint8_t(r.pair), uint8_t(r.alternate), uint8_t(r.life),
                        uint8_t(r.groundImpact), uint8_t(r.damage), 0, uint8_t(r.reloadMs / 10), 0, 0,
                        uint8_t(r.frames.size())};
    o.insert(o.end(), head, head + 13);
    int32_t v[10] = {0, r.hitRadius, r.speed, r.drift, 0, r.gravity, r.muzzleSide, r.muzzleDown, r.quadWidth,
                     r.quadHeight};
    for (int32_t x : v)
        Put32(o, x);
    for (auto const& f : r.frames)
        for (int32_t x : f)
            Put32(o, x);
    return o.size() == size_t(kHeader) + 32 * r.frames.size();
}

bool WasParseText(std::string const& text, WasRecord* out, std::string* err)
{
    WasRecord r;
    std::istringstream in(text);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        n++;
        std::istringstream ls(line);
        std::string key;
        if (!(ls >> key) || key[0] == '#')
            continue;
        std::vector<std::string> vals;
        for (std::string v; ls >> v;)
            vals.push_back(v);
        auto fail = [&](char const* why) {
            *err = "line " + std::to_string(n) + ": " + key + ": " + why;
            return false;
        };
        if (key == "frame") {
            if (vals.size() != 8)
                return fail("needs eight coordinates");
            std::array<int32_t, 8> f{};
            for (int i = 0; i < 8; i++)
                if (!ParseFixed(vals[size_t(i)], &f[size_t(i)]))
                    return fail("not a number");
            r.frames.push_back(f);
            continue;
        }
        if (vals.size() != 1)
            return fail("needs one value");
        std::string const& v = vals[0];
        int* ints[] = {&r.pair, &r.alternate, &r.life, &r.groundImpact, &r.damage, &r.reloadMs};
        char const* intKeys[] = {"pair", "alternate", "life", "ground-impact", "damage", "reload"};
        int32_t* fixeds[] = {&r.hitRadius, &r.drift, &r.gravity, &r.muzzleSide, &r.muzzleDown, &r.quadWidth,
                             &r.quadHeight};
        char const* fixedKeys[] = {"hit-radius", "drift", "gravity", "muzzle-side", "muzzle-down", "quad-width",
                                   "quad-height"};
        bool known = false;
        if (key == "type") {
            known = true;
            r.type = -1;
            for (int i = 0; i < 5; i++)
                if (v == kTypes[i])
                    r.type = i;
            if (r.type < 0)
                return fail("unknown type");
        } else if (key == "speed") {
            known = true;
            int s = 0;
            if (!ParseInt(v, &s))
                return fail("not an integer");
            r.speed = s;
        }
        for (int i = 0; i < 6 && !known; i++)
            if (key == intKeys[i]) {
                known = true;
                if (!ParseInt(v, ints[i]))
                    return fail("not an integer");
            }
        for (int i = 0; i < 7 && !known; i++)
            if (key == fixedKeys[i]) {
                known = true;
                if (!ParseFixed(v, fixeds[i]))
                    return fail("not a number");
            }
        if (!known)
            return fail("unknown key");
    }
    std::vector<uint8_t> probe;
    if (!WasWrite(r, &probe, err))
        return false;
    *out = r;
    return true;
}

std::string WasFormatText(WasRecord const& r)
{
    std::string s;
    s += "type " + std::string(r.type >= 0 && r.type <= 4 ? kTypes[r.type] : "shot") + "\n";
    s += "pair " + std::to_string(r.pair) + "\nalternate " + std::to_string(r.alternate) + "\n";
    s += "life " + std::to_string(r.life) + "\nground-impact " + std::to_string(r.groundImpact) + "\n";
    s += "damage " + std::to_string(r.damage) + "\nreload " + std::to_string(r.reloadMs) + "\n";
    s += "speed " + std::to_string(r.speed) + "\n";
    s += "hit-radius " + Fixed(r.hitRadius) + "\ndrift " + Fixed(r.drift) + "\ngravity " + Fixed(r.gravity) + "\n";
    s += "muzzle-side " + Fixed(r.muzzleSide) + "\nmuzzle-down " + Fixed(r.muzzleDown) + "\n";
    s += "quad-width " + Fixed(r.quadWidth) + "\nquad-height " + Fixed(r.quadHeight) + "\n";
    for (auto const& f : r.frames) {
        s += "frame";
        for (int32_t x : f) {
            s += ' ';
            s += Fixed(x);
        }
        s += "\n";
    }
    return s;
}
