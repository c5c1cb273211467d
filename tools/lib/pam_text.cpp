// The readable text form of a scene (documented in tools/pamwrite/README.md).
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tools/lib/pam_writer.h"
#include "tools/lib/toolcli.h"

namespace {

typedef __int128 i128;

const char* const kTrackNames[6] = {"px", "py", "pz", "ry", "rz", "rx"};
const char* const kSizeNames[3] = {"sx", "sy", "sz"};
const char* const kFlagNames[10] = {"dissolveenv", "dissolve", "additive", "halfalpha", "transparent",
                                    "boxcoll",     "skybox",   "static",   "perpoly",   "background"};

i128 RoundDiv(i128 num, i128 den) // to nearest, halves away from zero; den > 0
{
    i128 q = num / den, r = num % den;
    if (r < 0)
        r = -r;
    if (2 * r >= den)
        q += num < 0 ? -1 : 1;
    return q;
}

std::string Quote(std::string const& s)
{
    std::string o = "\"";
    static const char* hex = "0123456789abcdef";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            o += '\\';
            o += char(c);
        } else if (c < 0x20 || c >= 0x7F) {
            o += "\\x";
            o += hex[c >> 4];
            o += hex[c & 15];
        } else {
            o += char(c);
        }
    }
    return o + "\"";
}

std::string FormatFlags(uint16_t flags)
{
    std::string o;
    for (int b = 0; b < 10; b++)
        if (flags & (1u << b)) {
            if (!o.empty())
                o += '|';
            o += kFlagNames[b];
        }
    unsigned rest = flags & ~0x3FFu;
    if (rest) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", rest);
        if (!o.empty())
            o += '|';
        o += buf;
    }
    return o.empty() ? "0" : o;
}

void FormatTrack(std::ostringstream& o, const char* name, PamTrack const& t)
{
    o << "  " << name;
    for (auto const& k : t.keys)
        o << ' ' << k.first << ':' << PamFormatFixed(k.second);
    o << '\n';
}

// One line cut into words; quoted words keep their quotes' contents.
struct Word {
    std::string text;
    bool quoted;
};

bool Tokenize(std::string const& line, std::vector<Word>* out, std::string* err)
{
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            i++;
            continue;
        }
        if (c == '#')
            break;
        if (c == '"') {
            std::string s;
            i++;
            for (;;) {
                if (i >= line.size()) {
                    *err = "unterminated string";
                    return false;
                }
                char d = line[i++];
                if (d == '"')
                    break;
                if (d != '\\') {
                    s += d;
                    continue;
                }
                if (i >= line.size()) {
                    *err = "unterminated string";
                    return false;
                }
                char e = line[i++];
                if (e == 'x') {
                    if (i + 2 > line.size()) {
                        *err = "bad \\x escape";
                        return false;
                    }
                    char h[3] = {line[i], line[i + 1], 0};
                    char* end;
                    long v = std::strtol(h, &end, 16);
                    if (*end) {
                        *err = "bad \\x escape";
                        return false;
                    }
                    s += char(v);
                    i += 2;
                } else {
                    s += e;
                }
            }
            out->push_back({s, true});
            continue;
        }
        size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r' && line[j] != '#')
            j++;
        out->push_back({line.substr(i, j - i), false});
        i = j;
    }
    return true;
}

bool ParseInt(std::string const& s, long lo, long hi, long* out)
{
    if (s.empty())
        return false;
    char* end;
    long v = std::strtol(s.c_str(), &end, 0);
    if (*end || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool ParseFlags(std::string const& s, uint16_t* out)
{
    unsigned f = 0;
    size_t start = 0;
    while (start <= s.size()) {
        size_t bar = s.find('|', start);
        std::string w = s.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        bool named = false;
        for (int b = 0; b < 10; b++)
            if (w == kFlagNames[b]) {
                f |= 1u << b;
                named = true;
            }
        long v;
        if (!named) {
            if (!ParseInt(w, 0, 0xFFFF, &v))
                return false;
            f |= unsigned(v);
        }
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    *out = uint16_t(f);
    return true;
}

bool ParseKeys(std::vector<Word> const& w, size_t from, PamTrack* t, std::string* err)
{
    t->keys.clear();
    for (size_t i = from; i < w.size(); i++) {
        std::string const& k = w[i].text;
        size_t colon = k.find(':');
        long frame;
        int32_t value;
        if (colon == std::string::npos || !ParseInt(k.substr(0, colon), -32768, 32767, &frame) ||
            !PamParseFixed(k.substr(colon + 1), &value)) {
            *err = "bad key \"" + k + "\" (frame:value)";
            return false;
        }
        t->keys.push_back({int32_t(frame), value});
    }
    return true;
}

} // namespace

std::string PamFormatFixed(int32_t v)
{
    i128 pow10 = 1;
    for (int d = 0; d <= 5; d++, pow10 *= 10) {
        i128 q = RoundDiv(i128(v) * pow10, 65536);
        // |q| < 2^48: the digits fit a long long.
        long long a = (long long)(q < 0 ? -q : q);
        long long p = (long long)pow10;
        char buf[48];
        if (d)
            std::snprintf(buf, sizeof buf, "%s%lld.%0*lld", q < 0 ? "-" : "", a / p, d, a % p);
        else
            std::snprintf(buf, sizeof buf, "%s%lld", q < 0 ? "-" : "", a);
        int32_t back;
        if (PamParseFixed(buf, &back) && back == v)
            return buf;
    }
    return "?"; // not reached: five decimals always read back
}

bool PamParseFixed(std::string const& s, int32_t* out)
{
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        neg = s[i++] == '-';
    i128 mant = 0;
    int digits = 0, frac = 0;
    bool dot = false;
    for (; i < s.size(); i++) {
        char c = s[i];
        if (c == '.' && !dot) {
            dot = true;
            continue;
        }
        if (c < '0' || c > '9' || digits >= 30)
            return false;
        mant = mant * 10 + (c - '0');
        digits++;
        if (dot)
            frac++;
    }
    if (!digits)
        return false;
    i128 den = 1;
    for (int k = 0; k < frac; k++)
        den *= 10;
    i128 v = RoundDiv(mant * 65536, den);
    if (neg)
        v = -v;
    if (v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = int32_t(v);
    return true;
}

std::string PamFormatText(PamScene const& s)
{
    std::ostringstream o;
    o << "fps " << s.fps << '\n';
    for (auto const& m : s.meshes)
        o << "mesh " << Quote(m) << '\n';
    if (s.skybox) {
        o << "skybox";
        for (int32_t i : s.skyboxModels)
            o << ' ' << i;
        o << '\n';
    }
    if (s.areas)
        o << "areas " << PamFormatFixed(s.areaSize) << '\n';
    for (auto const& m : s.models) {
        o << "model mesh " << m.mesh << " parent " << m.parent << " flags " << FormatFlags(m.flags) << '\n';
        for (int k = 0; k < 6; k++)
            FormatTrack(o, kTrackNames[k], m.tracks[k]);
        if (m.flags & kPamBoxColl)
            for (int k = 0; k < 3; k++)
                FormatTrack(o, kSizeNames[k], m.size[k]);
        if (m.flags & kPamDissolve)
            o << "  alpha " << PamFormatFixed(m.dissolveAlpha) << '\n';
        else if (m.flags & kPamDissolveEnvelope)
            FormatTrack(o, "envelope", m.envelope);
    }
    for (auto const& n : s.nulls) {
        o << "null " << Quote(n.name) << " link " << n.link << '\n';
        for (int k = 0; k < 6; k++)
            FormatTrack(o, kTrackNames[k], n.tracks[k]);
    }
    if (s.camera) {
        o << "camera byte " << s.cam.byte << '\n';
        for (int k = 0; k < 6; k++)
            FormatTrack(o, kTrackNames[k], s.cam.tracks[k]);
        if (s.cam.fovConstant)
            o << "  fov " << PamFormatFixed(s.cam.fov) << '\n';
        else
            FormatTrack(o, "fovkeys", s.cam.fovTrack);
    }
    for (auto const& t : s.triggers) {
        o << "trigger " << Quote(t.name) << '\n';
        for (int k = 0; k < 3; k++)
            FormatTrack(o, kTrackNames[k], t.centre[k]);
        if (t.radiusConstant)
            o << "  radius " << PamFormatFixed(t.radius) << '\n';
        else
            FormatTrack(o, "radiuskeys", t.radiusTrack);
    }
    return o.str();
}

bool PamParseText(std::string const& text, PamScene* out, std::string* errOut)
{
    PamScene s;
    enum { kNone, kModel, kNull, kCamera, kTrigger } obj = kNone;
    // What the current model was given, checked against its flags.
    bool sizeGiven = false, alphaGiven = false, envelopeGiven = false;
    unsigned seen = 0; // track lines of the current object
    int lineNo = 0;
    std::string err;
    auto finishModel = [&]() -> bool {
        if (obj != kModel)
            return true;
        PamModel const& m = s.models.back();
        if (sizeGiven && !(m.flags & kPamBoxColl))
            err = "size tracks need the flag boxcoll";
        else if (alphaGiven && !(m.flags & kPamDissolve))
            err = "alpha needs the flag dissolve";
        else if (envelopeGiven && ((m.flags & kPamDissolve) || !(m.flags & kPamDissolveEnvelope)))
            err = "envelope needs the flag dissolveenv without dissolve";
        return err.empty();
    };

    std::istringstream in(text);
    std::string line;
    bool fpsSeen = false;
    while (std::getline(in, line)) {
        lineNo++;
        std::vector<Word> w;
        if (!Tokenize(line, &w, &err))
            break;
        if (w.empty())
            continue;
        std::string const& key = w[0].text;
        long v;
        auto bad = [&](std::string const& why) {
            err = why;
            return false;
        };
        auto newObject = [&](int kind) {
            if (!finishModel())
                return false;
            obj = decltype(obj)(kind);
            sizeGiven = alphaGiven = envelopeGiven = false;
            seen = 0;
            return true;
        };
        // Track lines of the current object.
        int trackIndex = -1;
        for (int k = 0; k < 6; k++)
            if (key == kTrackNames[k])
                trackIndex = k;
        bool ok = true;
        if (trackIndex >= 0 && obj != kNone && !w[0].quoted) {
            if (obj == kTrigger && trackIndex > 2) {
                ok = bad("a trigger has only px, py and pz");
            } else if (seen & (1u << trackIndex)) {
                ok = bad("track " + key + " given twice");
            } else {
                seen |= 1u << trackIndex;
                PamTrack* t = obj == kModel    ? &s.models.back().tracks[trackIndex]
                              : obj == kNull   ? &s.nulls.back().tracks[trackIndex]
                              : obj == kCamera ? &s.cam.tracks[trackIndex]
                                               : &s.triggers.back().centre[trackIndex];
                ok = ParseKeys(w, 1, t, &err);
            }
        } else if (obj == kModel && (key == "sx" || key == "sy" || key == "sz")) {
            int k = key[1] - 'x';
            if (seen & (1u << (6 + k)))
                ok = bad("track " + key + " given twice");
            seen |= 1u << (6 + k);
            sizeGiven = true;
            ok = ok && ParseKeys(w, 1, &s.models.back().size[k], &err);
        } else if (obj == kModel && key == "alpha") {
            alphaGiven = true;
            ok = w.size() == 2 && PamParseFixed(w[1].text, &s.models.back().dissolveAlpha);
            if (!ok)
                err = "alpha takes one value";
        } else if (obj == kModel && key == "envelope") {
            envelopeGiven = true;
            ok = ParseKeys(w, 1, &s.models.back().envelope, &err);
        } else if (obj == kCamera && key == "fov") {
            s.cam.fovConstant = true;
            ok = w.size() == 2 && PamParseFixed(w[1].text, &s.cam.fov);
            if (!ok)
                err = "fov takes one value";
        } else if (obj == kCamera && key == "fovkeys") {
            s.cam.fovConstant = false;
            ok = ParseKeys(w, 1, &s.cam.fovTrack, &err);
        } else if (obj == kTrigger && key == "radius") {
            s.triggers.back().radiusConstant = true;
            ok = w.size() == 2 && PamParseFixed(w[1].text, &s.triggers.back().radius);
            if (!ok)
                err = "radius takes one value";
        } else if (obj == kTrigger && key == "radiuskeys") {
            s.triggers.back().radiusConstant = false;
            ok = ParseKeys(w, 1, &s.triggers.back().radiusTrack, &err);
        } else if (key == "fps") {
            ok = !fpsSeen && w.size() == 2 && ParseInt(w[1].text, -128, 127, &v);
            if (ok)
                s.fps = int(v);
            else
                err = "fps takes one whole number (-128 to 127), once";
            fpsSeen = true;
        } else if (key == "mesh" && w.size() == 2) {
            ok = newObject(kNone);
            s.meshes.push_back(w[1].text);
        } else if (key == "skybox") {
            ok = newObject(kNone) && !s.skybox;
            if (!ok && err.empty())
                err = "skybox given twice";
            s.skybox = true;
            for (size_t i = 1; ok && i < w.size(); i++) {
                ok = ParseInt(w[i].text, 0, 65534, &v);
                if (ok)
                    s.skyboxModels.push_back(int32_t(v));
                else
                    err = "bad sky-box model \"" + w[i].text + "\"";
            }
        } else if (key == "areas") {
            ok = newObject(kNone) && w.size() == 2 && PamParseFixed(w[1].text, &s.areaSize);
            if (!ok && err.empty())
                err = "areas takes the area size";
            s.areas = true;
        } else if (key == "model") {
            ok = newObject(kModel);
            s.models.emplace_back();
            PamModel& m = s.models.back();
            for (size_t i = 1; ok && i < w.size(); i += 2) {
                if (i + 1 >= w.size()) {
                    ok = bad("\"" + w[i].text + "\" needs a value");
                } else if (w[i].text == "mesh") {
                    ok = ParseInt(w[i + 1].text, -128, 127, &v);
                    m.mesh = int(v);
                } else if (w[i].text == "parent") {
                    ok = ParseInt(w[i + 1].text, -128, 127, &v);
                    m.parent = int(v);
                } else if (w[i].text == "flags") {
                    ok = ParseFlags(w[i + 1].text, &m.flags);
                } else {
                    ok = false;
                }
                if (!ok && err.empty())
                    err = "bad model field \"" + w[i].text + "\"";
            }
        } else if (key == "null" && w.size() >= 2) {
            ok = newObject(kNull);
            s.nulls.emplace_back();
            s.nulls.back().name = w[1].text;
            if (ok && w.size() == 4 && w[2].text == "link") {
                ok = ParseInt(w[3].text, -1, 65534, &v);
                s.nulls.back().link = int32_t(v);
            } else if (w.size() != 2) {
                ok = false;
            }
            if (!ok && err.empty())
                err = "null takes a name and optionally link N";
        } else if (key == "camera") {
            ok = newObject(kCamera) && !s.camera;
            if (!ok && err.empty())
                err = "camera given twice";
            s.camera = true;
            if (ok && w.size() == 3 && w[1].text == "byte") {
                ok = ParseInt(w[2].text, -128, 127, &v);
                s.cam.byte = int(v);
            } else if (w.size() != 1) {
                ok = false;
            }
            if (!ok && err.empty())
                err = "camera takes optionally byte N";
        } else if (key == "trigger" && w.size() == 2) {
            ok = newObject(kTrigger);
            s.triggers.emplace_back();
            s.triggers.back().name = w[1].text;
        } else {
            ok = bad("unknown line " + QuoteLine(key));
        }
        if (!ok) {
            if (err.empty())
                err = "bad line";
            break;
        }
    }
    if (err.empty() && !finishModel())
        lineNo++;
    if (!err.empty()) {
        if (errOut)
            *errOut = "line " + std::to_string(lineNo) + ": " + Printable(err);
        return false;
    }
    *out = std::move(s);
    return true;
}
