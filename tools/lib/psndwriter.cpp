#include "tools/lib/psndwriter.h"

#include "tools/lib/toolfile.h"

namespace {

const int kSteps[89] = {7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,
                        23,    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,
                        73,    80,    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,
                        230,   253,   279,   307,   337,   371,   408,   449,   494,   544,   598,   658,
                        724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
                        2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,
                        7132,  7845,  8630,  9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350,
                        22385, 24623, 27086, 29794, 32767};
const int kIndexAdjust[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

struct Codec {
    int predictor = 0;
    int index = 0;

    int Diff(int nibble) const
    {
        int s = kSteps[index];
        int d = s >> 3;
        if (nibble & 4)
            d += s;
        if (nibble & 2)
            d += s >> 1;
        if (nibble & 1)
            d += s >> 2;
        return (nibble & 8) ? -d : d;
    }
    void Apply(int nibble)
    {
        int p = predictor + Diff(nibble);
        predictor = p < -32768 ? -32768 : (p > 32767 ? 32767 : p);
        index += kIndexAdjust[nibble];
        index = index < 0 ? 0 : (index > 88 ? 88 : index);
    }
};

} // namespace

std::vector<uint8_t> PsndBuild(const PsndFields& f, const void* data, size_t bytes, bool magic)
{
    const bool all = f.writeDefaults;
    uint32_t flags = 0;
    std::vector<uint8_t> h;
    if (all || f.channels != 1) {
        flags |= 0x001;
        h.push_back(uint8_t(f.channels));
    }
    if (all || f.format != 4) {
        flags |= 0x002;
        h.push_back(uint8_t(f.format));
    }
    if (all || f.volume != 256) {
        flags |= 0x004;
        PutLE16(h, uint32_t(f.volume));
    }
    if (f.loop) {
        flags |= 0x008;
        PutLE32(h, f.loopStart);
        PutLE32(h, f.loopEnd);
    }
    if (f.loopType >= 0) {
        flags |= 0x010;
        h.push_back(uint8_t(f.loopType));
    }
    if (all || f.priority != 128) {
        flags |= 0x020;
        h.push_back(uint8_t(f.priority));
    }
    if (all || f.copies != 1) {
        flags |= 0x040;
        h.push_back(uint8_t(f.copies));
    }
    if (f.adpcmByte >= 0) {
        flags |= 0x080;
        h.push_back(uint8_t(f.adpcmByte));
    }
    if (f.samples >= 0) {
        flags |= 0x100;
        PutLE32(h, uint32_t(f.samples));
    }
    if (f.panning >= 0) {
        flags |= 0x200;
        PutLE16(h, uint32_t(f.panning));
    }
    if (all || f.relativeNote != 0) {
        flags |= 0x400;
        PutLE16(h, uint32_t(uint16_t(int16_t(f.relativeNote))));
    }
    if (all || f.fineTune != 0) {
        flags |= 0x800;
        h.push_back(uint8_t(int8_t(f.fineTune)));
    }
    std::vector<uint8_t> header;
    PutLE16(header, flags);
    PutLE16(header, uint32_t(f.rate));
    header.insert(header.end(), h.begin(), h.end());
    header.insert(header.end(), size_t(f.extraHeaderBytes > 0 ? f.extraHeaderBytes : 0), 0);

    std::vector<uint8_t> out;
    if (magic)
        for (char c : {'P', 'S', 'N', 'D'})
            out.push_back(uint8_t(c));
    PutLE32(out, uint32_t(2 + header.size() + bytes));
    PutLE16(out, uint32_t(header.size()));
    out.insert(out.end(), header.begin(), header.end());
    const uint8_t* d = static_cast<const uint8_t*>(data);
    if (bytes)
        out.insert(out.end(), d, d + bytes);
    return out;
}

std::vector<uint8_t> AdpcmEncode(const int16_t* pcm, size_t samples)
{
    std::vector<uint8_t> out((samples + 1) / 2, 0);
    Codec c;
    for (size_t i = 0; i < samples; i++) {
        // Pick the nibble whose decoded value lands nearest the input.
        int best = 0;
        int bestErr = 1 << 30;
        for (int n = 0; n < 16; n++) {
            Codec t = c;
            t.Apply(n);
            int e = t.predictor - pcm[i];
            e = e < 0 ? -e : e;
            if (e < bestErr) {
                bestErr = e;
                best = n;
            }
        }
        c.Apply(best);
        if (i & 1)
            out[i >> 1] |= uint8_t(best);
        else
            out[i >> 1] = uint8_t(best << 4);
    }
    return out;
}

std::vector<int16_t> AdpcmDecode(const uint8_t* data, size_t samples)
{
    std::vector<int16_t> out(samples);
    Codec c;
    for (size_t i = 0; i < samples; i++) {
        int n = (i & 1) ? (data[i >> 1] & 15) : (data[i >> 1] >> 4);
        c.Apply(n);
        out[i] = int16_t(c.predictor);
    }
    return out;
}
