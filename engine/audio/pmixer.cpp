#include "engine/audio/pmixer.h"

#include <array>

namespace {

constexpr std::array<unsigned char, 512> Make8BitMixTab()
{
    std::array<unsigned char, 512> t{};
    for (int i = 0; i < 512; i++) {
        int v = i - 128;
        t[size_t(i)] = (unsigned char)(v < 0 ? 0 : (v > 254 ? 254 : v));
    }
    return t;
}

constexpr int16_t kStepSizes[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

struct StepTable {
    int32_t v[89][16];
};

constexpr StepTable MakeStepTable()
{
    StepTable t{};
    for (int i = 0; i < 89; i++) {
        int s = kStepSizes[i];
        for (int n = 0; n < 16; n++) {
            int d = s >> 3;
            if (n & 4)
                d += s;
            if (n & 2)
                d += s >> 1;
            if (n & 1)
                d += s >> 2;
            t.v[i][n] = (n & 8) ? -d : d;
        }
    }
    return t;
}

constexpr auto kMixTab = Make8BitMixTab();
constexpr StepTable kStepTable = MakeStepTable();

inline int Clamp16(int v)
{
    return v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
}

// A source sample scaled to 16 bits: 8-bit samples are shifted up by 8.
template <int Bits>
inline int Sample(const unsigned char* data, uint32_t index)
{
    if constexpr (Bits == 16) {
        const unsigned char* p = data + size_t(index) * 2;
        return int16_t(uint16_t(p[0] | (p[1] << 8)));
    } else {
        return int(int8_t(data[index])) << 8;
    }
}

// Adds one frame's contributions (already scaled by volume and shifted down to
// 16-bit range) into the output.
template <int OutBits, int OutCh>
inline void Put(unsigned char* out, int i, int cl, int cr)
{
    if constexpr (OutBits == 16) {
        int16_t* o = reinterpret_cast<int16_t*>(out) + size_t(i) * OutCh;
        if constexpr (OutCh == 1) {
            o[0] = int16_t(Clamp16(o[0] + cl));
        } else {
            o[0] = int16_t(Clamp16(o[0] + cl));
            o[1] = int16_t(Clamp16(o[1] + cr));
        }
    } else {
        unsigned char* o = out + size_t(i) * OutCh;
        if constexpr (OutCh == 1) {
            o[0] = PMix8(o[0] + 128 + (cl >> 8));
        } else {
            o[0] = PMix8(o[0] + 128 + (cl >> 8));
            o[1] = PMix8(o[1] + 128 + (cr >> 8));
        }
    }
}

// One PCM mixer. Per frame the contribution of a mono source is L x s >> 8
// (and R x s >> 8 on a stereo output); a stereo source down-mixed to a mono
// output gives ((L x sL >> 8) + (R x sR >> 8)) >> 1. 8-bit sources count as
// their value shifted up by 8, so L x s8 is added as it stands; 8-bit outputs
// take the contribution shifted down by 8 through P8BitMixTab.
template <int SrcBits, int SrcCh, int OutBits, int OutCh>
void MixPcm(PMixState* s, unsigned char* out, int frames)
{
    const int L = s->left.load(std::memory_order_relaxed);
    const int R = s->right.load(std::memory_order_relaxed);
    const uint64_t step = s->step.load(std::memory_order_relaxed);
    const unsigned char* data = s->data;
    const uint32_t pos = s->position;
    uint64_t acc = s->fraction;
    for (int i = 0; i < frames; i++, acc += step) {
        uint32_t idx = pos + uint32_t(acc >> 16);
        int cl, cr;
        if constexpr (SrcCh == 1) {
            int v = Sample<SrcBits>(data, idx);
            cl = (L * v) >> 8;
            cr = (R * v) >> 8;
        } else {
            int vl = Sample<SrcBits>(data, idx * 2);
            int vr = Sample<SrcBits>(data, idx * 2 + 1);
            cl = (L * vl) >> 8;
            cr = (R * vr) >> 8;
            if constexpr (OutCh == 1)
                cl = (cl + cr) >> 1;
        }
        Put<OutBits, OutCh>(out, i, cl, cr);
    }
    s->position = pos + uint32_t(acc >> 16);
    s->fraction = uint32_t(acc & 0xFFFF);
}

// The ADPCM mixers decode on the fly. They pick samples as the PCM mixers
// do (position and fraction advanced by the step), decoding every nibble up
// to the one each frame needs, skipped ones included; the decoder never runs
// ahead of the last frame's sample, so it reads no byte past it.
template <int OutBits, int OutCh>
void MixAdpcm(PMixState* s, unsigned char* out, int frames)
{
    const int L = s->left.load(std::memory_order_relaxed);
    const int R = s->right.load(std::memory_order_relaxed);
    const uint64_t step = s->step.load(std::memory_order_relaxed);
    const unsigned char* data = s->data;
    const uint32_t pos = s->position;
    uint64_t acc = s->fraction;
    for (int i = 0; i < frames; i++, acc += step) {
        const uint32_t idx = pos + uint32_t(acc >> 16);
        while (s->decoded <= idx) {
            const uint32_t d = s->decoded++;
            s->held = data[d >> 1];
            s->phase = uint8_t((d + 1) & 1);
            PADPCM_Decode(s, (d & 1) ? (s->held & 15) : (s->held >> 4));
        }
        const int v = s->predictor;
        Put<OutBits, OutCh>(out, i, (L * v) >> 8, (R * v) >> 8);
    }
    s->position = pos + uint32_t(acc >> 16);
    s->fraction = uint32_t(acc & 0xFFFF);
}

} // namespace

const unsigned char P8BitMixTab[512] = {
#define R8(i) kMixTab[i], kMixTab[i + 1], kMixTab[i + 2], kMixTab[i + 3], kMixTab[i + 4], \
              kMixTab[i + 5], kMixTab[i + 6], kMixTab[i + 7]
#define R64(i) R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
    R64(0), R64(64), R64(128), R64(192), R64(256), R64(320), R64(384), R64(448)
#undef R64
#undef R8
};

const int16_t PADPCM_StepSizes[89] = {
#define S8(i) kStepSizes[i], kStepSizes[i + 1], kStepSizes[i + 2], kStepSizes[i + 3], \
              kStepSizes[i + 4], kStepSizes[i + 5], kStepSizes[i + 6], kStepSizes[i + 7]
    S8(0), S8(8), S8(16), S8(24), S8(32), S8(40), S8(48), S8(56), S8(64), S8(72), S8(80),
    kStepSizes[88]
#undef S8
};

const int32_t (&PADPCM_StepTable)[89][16] = kStepTable.v;

const int8_t PADPCM_IndexAdjust[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

void PADPCM_DecodeBlock(const unsigned char* data, uint32_t samples, int16_t* out)
{
    PMixState s;
    for (uint32_t i = 0; i < samples; i++) {
        int nibble = (i & 1) ? (data[i >> 1] & 15) : (data[i >> 1] >> 4);
        PADPCM_Decode(&s, nibble);
        out[i] = s.predictor;
    }
}

void PMix_Mono16_Mono16(PMixState* s, unsigned char* o, int n) { MixPcm<16, 1, 16, 1>(s, o, n); }
void PMix_Mono16_Stereo16(PMixState* s, unsigned char* o, int n) { MixPcm<16, 1, 16, 2>(s, o, n); }
void PMix_Mono16_Mono8(PMixState* s, unsigned char* o, int n) { MixPcm<16, 1, 8, 1>(s, o, n); }
void PMix_Mono16_Stereo8(PMixState* s, unsigned char* o, int n) { MixPcm<16, 1, 8, 2>(s, o, n); }
void PMix_Mono8_Mono16(PMixState* s, unsigned char* o, int n) { MixPcm<8, 1, 16, 1>(s, o, n); }
void PMix_Mono8_Stereo16(PMixState* s, unsigned char* o, int n) { MixPcm<8, 1, 16, 2>(s, o, n); }
void PMix_Mono8_Mono8(PMixState* s, unsigned char* o, int n) { MixPcm<8, 1, 8, 1>(s, o, n); }
void PMix_Mono8_Stereo8(PMixState* s, unsigned char* o, int n) { MixPcm<8, 1, 8, 2>(s, o, n); }
void PMix_Stereo16_Mono16(PMixState* s, unsigned char* o, int n) { MixPcm<16, 2, 16, 1>(s, o, n); }
void PMix_Stereo16_Stereo16(PMixState* s, unsigned char* o, int n) { MixPcm<16, 2, 16, 2>(s, o, n); }
void PMix_Stereo16_Mono8(PMixState* s, unsigned char* o, int n) { MixPcm<16, 2, 8, 1>(s, o, n); }
void PMix_Stereo16_Stereo8(PMixState* s, unsigned char* o, int n) { MixPcm<16, 2, 8, 2>(s, o, n); }
void PMix_Stereo8_Mono16(PMixState* s, unsigned char* o, int n) { MixPcm<8, 2, 16, 1>(s, o, n); }
void PMix_Stereo8_Stereo16(PMixState* s, unsigned char* o, int n) { MixPcm<8, 2, 16, 2>(s, o, n); }
void PMix_Stereo8_Mono8(PMixState* s, unsigned char* o, int n) { MixPcm<8, 2, 8, 1>(s, o, n); }
void PMix_Stereo8_Stereo8(PMixState* s, unsigned char* o, int n) { MixPcm<8, 2, 8, 2>(s, o, n); }
void PMixADPCM_Mono16(PMixState* s, unsigned char* o, int n) { MixAdpcm<16, 1>(s, o, n); }
void PMixADPCM_Stereo16(PMixState* s, unsigned char* o, int n) { MixAdpcm<16, 2>(s, o, n); }
void PMixADPCM_Mono8(PMixState* s, unsigned char* o, int n) { MixAdpcm<8, 1>(s, o, n); }
void PMixADPCM_Stereo8(PMixState* s, unsigned char* o, int n) { MixAdpcm<8, 2>(s, o, n); }
