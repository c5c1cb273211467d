#include "tools/lib/songtext.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "tools/lib/psndwriter.h"
#include "tools/lib/toolcli.h"
#include "tools/lib/wavfile.h"

namespace {

std::vector<std::string> Split(const std::string& s, char sep = 0)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        bool split = sep ? c == sep : (c == ' ' || c == '\t');
        if (split) {
            if (!cur.empty() || sep)
                out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty() || (sep && !out.empty()))
        out.push_back(cur);
    return out;
}

std::string Trim(const std::string& s)
{
    size_t a = s.find_first_not_of(" \t\r");
    size_t b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

bool Int(const std::string& s, long lo, long hi, long* v, int base = 10)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    long x = std::strtol(s.c_str(), &end, base);
    if (*end || x < lo || x > hi)
        return false;
    *v = x;
    return true;
}

struct Parser {
    SongText* song = nullptr;
    std::string baseDir;
    std::string* err = nullptr;
    int line = 0;
    int currentPattern = -1;
    std::map<std::string, int> sampleIds, instrumentIds;

    bool Fail(const std::string& why)
    {
        if (err)
            *err = "line " + std::to_string(line) + ": " + Printable(why);
        return false;
    }

    bool Sample(const std::vector<std::string>& t)
    {
        // sample NAME WAVE N [options]
        if (t.size() < 3)
            return Fail("sample NAME WAVE ...");
        SongSample sm;
        size_t i = 2;
        const std::string wave = t[i++];
        long n = 0, amp = 24000, cycles = 1;
        std::string path;
        if (wave == "wav") {
            if (i >= t.size())
                return Fail("wav needs a path");
            path = t[i++];
        } else {
            if (i >= t.size() || !Int(t[i++], 1, 1 << 24, &n))
                return Fail("the wave needs a length in frames");
        }
        bool loopGiven = false, noloop = false;
        for (; i < t.size(); i++) {
            const std::string& k = t[i];
            long v = 0, w = 0;
            auto next = [&](long lo, long hi, long* out) { return i + 1 < t.size() && Int(t[++i], lo, hi, out); };
            if (k == "vol" && next(0, 256, &v))
                sm.volume = int(v);
            else if ((k == "loop" || k == "pingpong") && next(0, 1 << 30, &v) && next(1, 1 << 30, &w)) {
                sm.loopType = k == "loop" ? 1 : 2;
                sm.loopStart = uint32_t(v);
                sm.loopEnd = uint32_t(w);
                loopGiven = true;
            } else if (k == "noloop")
                noloop = true;
            else if (k == "bits" && next(8, 16, &v) && (v == 8 || v == 16))
                sm.sixteen = v == 16;
            else if (k == "relnote" && next(-96, 96, &v))
                sm.relNote = int(v);
            else if (k == "finetune" && next(-128, 127, &v))
                sm.fineTune = int(v);
            else if (k == "pan" && next(0, 256, &v))
                sm.panning = int(v);
            else if (k == "c2rate" && next(1, 65535, &v))
                sm.c2rate = int(v);
            else if (k == "amp" && next(0, 32767, &v))
                amp = v;
            else if (k == "cycles" && next(1, 1 << 20, &v))
                cycles = v;
            else
                return Fail("bad sample option " + k);
        }
        if (wave == "wav") {
            WavData w;
            std::string e;
            std::string full = path[0] == '/' ? path : baseDir + "/" + path;
            if (!WavRead(full.c_str(), &w, &e))
                return Fail(e);
            for (size_t f = 0; f < w.Frames(); f++) {
                int s = w.Sample16(f, 0);
                if (w.channels == 2)
                    s = (s + w.Sample16(f, 1)) >> 1;
                sm.pcm.push_back(int16_t(s));
            }
        } else {
            uint32_t len = uint32_t(n) * uint32_t(wave == "noise" ? 1 : cycles);
            uint32_t rng = 12345;
            for (uint32_t f = 0; f < len; f++) {
                double ph = double(f % uint32_t(n)) / double(n);
                double v;
                if (wave == "sine")
                    v = std::sin(2 * M_PI * ph);
                else if (wave == "square")
                    v = ph < 0.5 ? 1 : -1;
                else if (wave == "saw")
                    v = 2 * ph - 1;
                else if (wave == "noise") {
                    rng = rng * 1103515245u + 12345u;
                    v = double(int((rng >> 16) & 0x7FFF) - 16384) / 16384.0;
                } else if (wave == "silence")
                    v = 0;
                else
                    return Fail("unknown wave " + wave);
                sm.pcm.push_back(int16_t(std::lround(v * double(amp))));
            }
            if (!loopGiven && !noloop && wave != "noise") {
                sm.loopType = 1;
                sm.loopStart = 0;
                sm.loopEnd = len;
            }
        }
        if (sm.pcm.empty())
            return Fail("empty sample");
        if (sm.loopType && (sm.loopEnd > sm.pcm.size() || sm.loopStart >= sm.loopEnd))
            return Fail("loop outside the sample");
        if (!sm.sixteen)
            for (auto& s : sm.pcm)
                s = int16_t(s & ~0xFF);
        sampleIds[t[1]] = int(song->samples.size());
        song->samples.push_back(sm);
        return true;
    }

    bool Envelope(const std::vector<std::string>& t, size_t& i, int type, PmodEnvelope* e)
    {
        e->type = type;
        for (i++; i < t.size(); i++) {
            const std::string& k = t[i];
            long v = 0, w = 0;
            if (k == "sustain" && i + 1 < t.size() && Int(t[i + 1], 0, 23, &v)) {
                e->flags |= 2;
                e->sustain = int(v);
                i++;
            } else if (k == "loop" && i + 2 < t.size() && Int(t[i + 1], 0, 23, &v) && Int(t[i + 2], 0, 23, &w)) {
                e->flags |= 1;
                e->loopStart = int(v);
                e->loopEnd = int(w);
                i += 2;
            } else if (k == "fadewrap") {
                e->flags |= 128;
            } else if (k.find(':') != std::string::npos) {
                auto pv = Split(k, ':');
                if (pv.size() != 2 || !Int(pv[0], 0, 65535, &v) || !Int(pv[1], 0, 256, &w))
                    return Fail("envelope point TICK:VALUE");
                e->points.push_back({uint16_t(v), uint16_t(w)});
            } else {
                i--;
                break;
            }
        }
        if (e->points.empty() || e->points.size() > 24)
            return Fail("an envelope has 1-24 points");
        return true;
    }

    bool Instrument(const std::vector<std::string>& t)
    {
        PmodInstrument in;
        int sample = -1;
        for (size_t i = 2; i < t.size(); i++) {
            const std::string& k = t[i];
            long v = 0;
            if (k == "sample" && i + 1 < t.size()) {
                auto it = sampleIds.find(t[++i]);
                if (it == sampleIds.end())
                    return Fail("unknown sample " + t[i]);
                sample = it->second;
            } else if (k == "fadeout" && i + 1 < t.size() && Int(t[i + 1], 0, 65535, &v)) {
                in.fadeout = uint16_t(v);
                i++;
            } else if (k == "vibrato" && i + 4 < t.size()) {
                long a, b, c, d;
                if (!Int(t[i + 1], 0, 4, &a) || !Int(t[i + 2], 0, 255, &b) || !Int(t[i + 3], 0, 255, &c) ||
                    !Int(t[i + 4], 0, 255, &d))
                    return Fail("vibrato TYPE SWEEP DEPTH RATE");
                in.vibType = uint8_t(a);
                in.vibSweep = uint8_t(b);
                in.vibDepth = uint8_t(c);
                in.vibRate = uint8_t(d);
                i += 4;
            } else if (k == "volenv" || k == "panenv") {
                PmodEnvelope e;
                if (!Envelope(t, i, k == "volenv" ? 0 : 1, &e))
                    return false;
                in.envelopes.push_back(e);
            } else {
                return Fail("bad instrument option " + k);
            }
        }
        if (sample < 0)
            return Fail("an instrument needs a sample");
        in.map.assign(96, uint8_t(sample));
        instrumentIds[t[1]] = int(song->pmod.instruments.size());
        song->pmod.instruments.push_back(in);
        return true;
    }

    bool Row(const std::string& text)
    {
        if (currentPattern < 0)
            return Fail("a row outside a pattern");
        PmodSong& s = song->pmod;
        size_t colon = text.find(':');
        long row;
        if (colon == std::string::npos || !Int(Trim(text.substr(0, colon)), 0, 255, &row))
            return Fail("a row is ROW: cell | cell ...");
        if (row >= s.patterns[size_t(currentPattern)].rows)
            return Fail("row beyond the pattern");
        auto cells = Split(text.substr(colon + 1), '|');
        if (int(cells.size()) > s.channels)
            return Fail("more cells than channels");
        for (size_t ch = 0; ch < cells.size(); ch++) {
            auto tok = Split(Trim(cells[ch]));
            uint8_t* c = s.Cell(currentPattern, int(row), int(ch));
            long v;
            for (size_t k = 0; k < tok.size() && k < 5; k++) {
                const std::string& x = tok[k];
                if (x == "." || x == "..")
                    continue;
                if (k == 0) {
                    if (x == "off")
                        c[0] = 255;
                    else if (int n = SongNote(x))
                        c[0] = uint8_t(n);
                    else
                        return Fail("bad note " + x);
                } else if (k == 1) {
                    auto it = instrumentIds.find(x);
                    if (it != instrumentIds.end())
                        c[1] = uint8_t(it->second + 1);
                    else if (sampleIds.count(x) && s.instruments.empty())
                        c[1] = uint8_t(sampleIds[x] + 1);
                    else if (Int(x, 1, 255, &v))
                        c[1] = uint8_t(v);
                    else
                        return Fail("bad instrument " + x);
                } else if (k == 2) {
                    if (!Int(x, 0, 37, &v))
                        return Fail("bad effect " + x);
                    c[2] = uint8_t(v);
                } else {
                    if (!Int(x, 0, 255, &v, 16))
                        return Fail("bad hex value " + x);
                    c[k == 3 ? 3 : 4] = uint8_t(v);
                }
            }
        }
        return true;
    }

    bool Line(const std::string& raw)
    {
        // '#' starts a comment at the start of a line or after a blank (a
        // sharp inside a note name is not one).
        size_t hash = raw.find('#');
        while (hash != std::string::npos && hash > 0 && raw[hash - 1] != ' ' && raw[hash - 1] != '\t')
            hash = raw.find('#', hash + 1);
        std::string text = Trim(raw.substr(0, hash));
        if (text.empty())
            return true;
        if (std::isdigit(uint8_t(text[0])))
            return Row(text);
        auto t = Split(text);
        PmodSong& s = song->pmod;
        const std::string& k = t[0];
        long v = 0;
        auto one = [&](long lo, long hi) { return t.size() == 2 && Int(t[1], lo, hi, &v); };
        currentPattern = k == "pattern" ? currentPattern : -1;
        if (k == "name") {
            song->name = text.substr(5);
        } else if (k == "type" && t.size() == 2) {
            if (t[1] == "xm")
                s.flags = (s.flags & 0x0FFFFFFE) | (1u << 28) | 1u;
            else if (t[1] == "xm-amiga")
                s.flags = (s.flags & 0x0FFFFFFE) | (1u << 28);
            else if (t[1] == "mod")
                s.flags = s.flags & 0x0FFFFFFE;
            else if (t[1] == "s3m")
                s.flags = (s.flags & 0x0FFFFFFE) | (2u << 28);
            else
                return Fail("type xm, xm-amiga, mod or s3m");
        } else if (k == "speed" && one(1, 255)) {
            s.speed = int(v);
        } else if (k == "tempo" && one(1, 255)) {
            s.tempo = int(v);
        } else if (k == "channels" && one(1, 64)) {
            if (!s.patterns.empty())
                return Fail("channels must come before the patterns");
            s.channels = int(v);
        } else if (k == "global" && one(0, 256)) {
            s.globalVolume = int(v);
        } else if (k == "restart" && one(0, 65535)) {
            s.restart = int(v);
        } else if (k == "periods" && t.size() == 3) {
            long a, b;
            if (!Int(t[1], 0, 0x7FFFFFFF, &a) || !Int(t[2], 0, 0x7FFFFFFF, &b))
                return Fail("periods LOW HIGH");
            s.lowPeriod = uint32_t(a);
            s.highPeriod = uint32_t(b);
        } else if (k == "slides-tick0") {
            s.flags |= 2;
        } else if (k == "panning") {
            s.panning.clear();
            for (size_t i = 1; i < t.size(); i++) {
                if (!Int(t[i], 0, 256, &v))
                    return Fail("panning values are 0-256");
                s.panning.push_back(uint16_t(v));
            }
            s.flags |= 4;
        } else if (k == "order") {
            for (size_t i = 1; i < t.size(); i++) {
                if (!Int(t[i], 0, 255, &v))
                    return Fail("order entries are 0-255");
                s.orders.push_back(uint8_t(v));
            }
        } else if (k == "sample") {
            return Sample(t);
        } else if (k == "instrument") {
            return Instrument(t);
        } else if (k == "pattern" && t.size() == 4 && t[2] == "rows") {
            long n, rows;
            if (!Int(t[1], 0, 255, &n) || !Int(t[3], 1, 256, &rows))
                return Fail("pattern N rows R");
            if (size_t(n) != s.patterns.size())
                return Fail("patterns are numbered in order from 0");
            PmodPattern p;
            p.rows = int(rows);
            p.cells.assign(size_t(rows) * size_t(s.channels) * 5, 0);
            s.patterns.push_back(p);
            currentPattern = int(n);
        } else {
            return Fail("unknown line " + QuoteLine(text));
        }
        return true;
    }
};

} // namespace

int SongNote(const std::string& name)
{
    static const char* kNames[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
    if (name.size() < 3)
        return 0;
    for (int i = 0; i < 12; i++) {
        if (name.compare(0, 2, kNames[i]) == 0) {
            long oct;
            if (!Int(name.substr(2), 0, 10, &oct))
                return 0;
            int n = int(oct) * 12 + i + 13;
            return n >= 1 && n <= 132 ? n : 0;
        }
    }
    return 0;
}

bool SongParse(const std::string& text, const std::string& baseDir, SongText* out, std::string* err)
{
    *out = SongText();
    out->pmod.flags = (1u << 28) | 1u;
    out->pmod.lowPeriod = 1;
    out->pmod.highPeriod = 0x7FFFFFFF;
    Parser p;
    p.song = out;
    p.baseDir = baseDir;
    p.err = err;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        p.line++;
        if (!p.Line(line))
            return false;
    }
    PmodSong& s = out->pmod;
    if (s.orders.empty() || s.patterns.empty() || out->samples.empty()) {
        if (err)
            *err = "a song needs an order list, patterns and samples";
        return false;
    }
    for (uint8_t o : s.orders)
        if (o >= s.patterns.size()) {
            if (err)
                *err = "the order list names a missing pattern";
            return false;
        }
    if ((s.flags & 4) && s.panning.size() != size_t(s.channels)) {
        if (err)
            *err = "the panning table needs one value per channel";
        return false;
    }
    const bool s3m = (s.flags >> 28) == 2;
    for (const SongSample& sm : out->samples) {
        PsndFields f;
        f.format = sm.sixteen ? 16 : 8;
        f.rate = 8363;
        f.volume = sm.volume;
        f.samples = int64_t(sm.pcm.size());
        f.adpcmByte = 0;
        if (sm.loopType) {
            f.loop = true;
            f.loopStart = sm.loopStart;
            f.loopEnd = sm.loopEnd;
            f.loopType = sm.loopType;
        } else {
            f.loopType = 0;
        }
        f.panning = sm.panning;
        f.relativeNote = s3m ? int(int16_t(uint16_t(sm.c2rate))) : sm.relNote;
        f.fineTune = sm.fineTune;
        std::vector<uint8_t> data;
        for (int16_t v : sm.pcm) {
            if (sm.sixteen) {
                data.push_back(uint8_t(v));
                data.push_back(uint8_t(uint16_t(v) >> 8));
            } else {
                data.push_back(uint8_t(v >> 8));
            }
        }
        s.samples.push_back(PsndBuild(f, data.data(), data.size()));
    }
    return true;
}

namespace {

void P16(std::vector<uint8_t>& v, uint32_t x)
{
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void P32(std::vector<uint8_t>& v, uint32_t x)
{
    P16(v, x & 0xFFFF);
    P16(v, x >> 16);
}
void PText(std::vector<uint8_t>& v, const std::string& s, size_t n)
{
    for (size_t i = 0; i < n; i++)
        v.push_back(i < s.size() ? uint8_t(s[i]) : 0);
}

// XM effect and parameter for an engine effect; false when XM has none.
bool XmEffect(int e, int p, uint8_t* fx, uint8_t* prm)
{
    static const int kDirect[14] = {0x0, 0x1, 0x2, 0x3, 0x4, 0x5, 0x6, 0x7, 0x9, 0xA, 0xB, 0xC, 0xD, 0xF};
    const int y = p & 15;
    if (e <= 13) {
        *fx = uint8_t(kDirect[e]);
        *prm = uint8_t(p);
        return true;
    }
    static const struct { int e, sub; } kExt[] = {{14, 1}, {15, 2}, {16, 4}, {17, 5}, {19, 7}, {20, 9},
                                                  {21, 0xA}, {22, 0xB}, {23, 0xC}, {24, 0xD}, {25, 0xE}};
    for (auto& x : kExt)
        if (x.e == e) {
            *fx = 0xE;
            *prm = uint8_t(x.sub << 4 | y);
            return true;
        }
    switch (e) {
    case 27: *fx = 16; *prm = uint8_t(p); return true;
    case 28: *fx = 17; *prm = uint8_t(p); return true;
    case 29: *fx = 21; *prm = uint8_t(p); return true;
    case 30: *fx = 25; *prm = uint8_t(p); return true;
    default: return false;
    }
}

} // namespace

bool SongToXm(const SongText& song, std::vector<uint8_t>* out, std::string* err)
{
    const PmodSong& s = song.pmod;
    if ((s.flags >> 28) != 1) {
        if (err)
            *err = "only xm songs have an XM form";
        return false;
    }
    // Instruments: the song's, or one per sample.
    std::vector<PmodInstrument> ins = s.instruments;
    if (ins.empty()) {
        for (size_t i = 0; i < song.samples.size(); i++) {
            PmodInstrument in;
            in.map.assign(96, uint8_t(i));
            ins.push_back(in);
        }
    }
    std::vector<uint8_t>& v = *out;
    v.clear();
    PText(v, "Extended Module: ", 17);
    PText(v, song.name, 20);
    v.push_back(0x1A);
    PText(v, "korvanth pmod", 20);
    P16(v, 0x0104);
    P32(v, 276);
    P16(v, uint32_t(s.orders.size()));
    P16(v, uint32_t(s.restart));
    P16(v, uint32_t(s.channels));
    P16(v, uint32_t(s.patterns.size()));
    P16(v, uint32_t(ins.size()));
    P16(v, s.flags & 1);
    P16(v, uint32_t(s.speed));
    P16(v, uint32_t(s.tempo));
    for (size_t i = 0; i < 256; i++)
        v.push_back(i < s.orders.size() ? s.orders[i] : 0);
    for (const PmodPattern& p : s.patterns) {
        P32(v, 9);
        v.push_back(0);
        P16(v, uint32_t(p.rows));
        P16(v, uint32_t(p.cells.size()));
        for (size_t c = 0; c < p.cells.size(); c += 5) {
            const uint8_t* cell = &p.cells[c];
            uint8_t note = 0;
            if (cell[0] == 255)
                note = 97;
            else if (cell[0] >= 13 && cell[0] <= 108)
                note = uint8_t(cell[0] - 12);
            uint8_t fx = 0, prm = 0;
            if ((cell[2] || cell[3]) && !XmEffect(cell[2], cell[3], &fx, &prm))
                fx = prm = 0;
            v.push_back(note);
            v.push_back(cell[1]);
            v.push_back(cell[4]);
            v.push_back(fx);
            v.push_back(prm);
        }
    }
    for (const PmodInstrument& in : ins) {
        // This instrument's samples, in the order its map first names them.
        std::vector<int> own;
        uint8_t keymap[96];
        for (size_t k = 0; k < 96; k++) {
            int smp = k < in.map.size() ? in.map[k] : 255;
            keymap[k] = 0;
            if (smp == 255 || smp >= int(song.samples.size()))
                continue;
            size_t j = 0;
            while (j < own.size() && own[j] != smp)
                j++;
            if (j == own.size())
                own.push_back(smp);
            keymap[k] = uint8_t(j);
        }
        P32(v, 263);
        PText(v, "", 22);
        v.push_back(0);
        P16(v, uint32_t(own.size()));
        P32(v, 40);
        v.insert(v.end(), keymap, keymap + 96);
        const PmodEnvelope* env[2] = {nullptr, nullptr};
        for (const PmodEnvelope& e : in.envelopes)
            if (e.type <= 1 && !env[e.type] && e.points.size() <= 12)
                env[e.type] = &e;
        for (int t = 0; t < 2; t++) {
            for (size_t i = 0; i < 12; i++) {
                if (env[t] && i < env[t]->points.size()) {
                    P16(v, env[t]->points[i].first);
                    P16(v, uint32_t(env[t]->points[i].second / 4));
                } else {
                    P32(v, 0);
                }
            }
        }
        for (int t = 0; t < 2; t++)
            v.push_back(uint8_t(env[t] ? env[t]->points.size() : 0));
        for (int t = 0; t < 2; t++) {
            v.push_back(uint8_t(env[t] ? env[t]->sustain : 0));
            v.push_back(uint8_t(env[t] ? env[t]->loopStart : 0));
            v.push_back(uint8_t(env[t] ? env[t]->loopEnd : 0));
        }
        for (int t = 0; t < 2; t++) {
            uint8_t type = 0;
            if (env[t])
                type = uint8_t(1 | ((env[t]->flags & 2) ? 2 : 0) | ((env[t]->flags & 1) ? 4 : 0));
            v.push_back(type);
        }
        v.push_back(in.vibType);
        v.push_back(in.vibSweep);
        v.push_back(in.vibDepth);
        v.push_back(in.vibRate);
        P16(v, in.fadeout);
        v.insert(v.end(), 22, 0); // reserved: the header is 263 bytes
        for (int id : own) {
            const SongSample& sm = song.samples[size_t(id)];
            const uint32_t b = sm.sixteen ? 2 : 1;
            P32(v, uint32_t(sm.pcm.size()) * b);
            P32(v, sm.loopType ? sm.loopStart * b : 0);
            P32(v, sm.loopType ? (sm.loopEnd - sm.loopStart) * b : 0);
            v.push_back(uint8_t(sm.volume / 4));
            v.push_back(uint8_t(int8_t(sm.fineTune)));
            v.push_back(uint8_t(sm.loopType | (sm.sixteen ? 16 : 0)));
            v.push_back(uint8_t(sm.panning > 255 ? 255 : sm.panning));
            v.push_back(uint8_t(int8_t(sm.relNote)));
            v.push_back(0);
            PText(v, "", 22);
        }
        for (int id : own) {
            const SongSample& sm = song.samples[size_t(id)];
            int prev = 0;
            for (int16_t x : sm.pcm) { // delta coded
                if (sm.sixteen) {
                    P16(v, uint16_t(int16_t(x - prev)));
                    prev = x;
                } else {
                    int8_t b8 = int8_t(x >> 8);
                    v.push_back(uint8_t(int8_t(b8 - prev)));
                    prev = b8;
                }
            }
        }
    }
    return true;
}
