// The sample mixers against a plain reference of each formula, and the IMA
// ADPCM decoder against Python's audioop.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/audio/pmixer.h"
#include "tests/tools/tool_runner.h"
#include "tools/lib/psndwriter.h"

namespace {

struct MixerCase {
    const char* name;
    PMixFunc fn;
    int srcBits, srcCh, outBits, outCh;
};

const MixerCase kPcmMixers[] = {
    {"Mono16_Mono16", PMix_Mono16_Mono16, 16, 1, 16, 1},
    {"Mono16_Stereo16", PMix_Mono16_Stereo16, 16, 1, 16, 2},
    {"Mono16_Mono8", PMix_Mono16_Mono8, 16, 1, 8, 1},
    {"Mono16_Stereo8", PMix_Mono16_Stereo8, 16, 1, 8, 2},
    {"Mono8_Mono16", PMix_Mono8_Mono16, 8, 1, 16, 1},
    {"Mono8_Stereo16", PMix_Mono8_Stereo16, 8, 1, 16, 2},
    {"Mono8_Mono8", PMix_Mono8_Mono8, 8, 1, 8, 1},
    {"Mono8_Stereo8", PMix_Mono8_Stereo8, 8, 1, 8, 2},
    {"Stereo16_Mono16", PMix_Stereo16_Mono16, 16, 2, 16, 1},
    {"Stereo16_Stereo16", PMix_Stereo16_Stereo16, 16, 2, 16, 2},
    {"Stereo16_Mono8", PMix_Stereo16_Mono8, 16, 2, 8, 1},
    {"Stereo16_Stereo8", PMix_Stereo16_Stereo8, 16, 2, 8, 2},
    {"Stereo8_Mono16", PMix_Stereo8_Mono16, 8, 2, 16, 1},
    {"Stereo8_Stereo16", PMix_Stereo8_Stereo16, 8, 2, 16, 2},
    {"Stereo8_Mono8", PMix_Stereo8_Mono8, 8, 2, 8, 1},
    {"Stereo8_Stereo8", PMix_Stereo8_Stereo8, 8, 2, 8, 2},
};

int C16(int v)
{
    return v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
}
int T8(int i)
{
    i = i < 0 ? 0 : (i > 511 ? 511 : i);
    int v = i - 128;
    return v < 0 ? 0 : (v > 254 ? 254 : v);
}

int Src(const std::vector<uint8_t>& d, int bits, size_t i)
{
    if (bits == 16)
        return int16_t(uint16_t(d[2 * i] | (d[2 * i + 1] << 8)));
    return int8_t(d[i]);
}

// The mixer table written out case by case.
void Reference(const MixerCase& m, const std::vector<uint8_t>& data, uint32_t pos, uint32_t frac, uint32_t step,
               int L, int R, std::vector<uint8_t>& out, int frames)
{
    uint64_t acc = frac;
    for (int f = 0; f < frames; f++, acc += step) {
        size_t i = pos + size_t(acc >> 16);
        int16_t* o16 = reinterpret_cast<int16_t*>(out.data()) + size_t(f) * m.outCh;
        uint8_t* o8 = out.data() + size_t(f) * m.outCh;
        if (m.srcCh == 1) {
            int s = Src(data, m.srcBits, i);
            if (m.srcBits == 16) {
                if (m.outBits == 16) {
                    o16[0] = int16_t(C16(o16[0] + (L * s >> 8)));
                    if (m.outCh == 2)
                        o16[1] = int16_t(C16(o16[1] + (R * s >> 8)));
                } else {
                    o8[0] = uint8_t(T8(o8[0] + 128 + (L * s >> 16)));
                    if (m.outCh == 2)
                        o8[1] = uint8_t(T8(o8[1] + 128 + (R * s >> 16)));
                }
            } else {
                if (m.outBits == 16) {
                    o16[0] = int16_t(C16(o16[0] + L * s));
                    if (m.outCh == 2)
                        o16[1] = int16_t(C16(o16[1] + R * s));
                } else { // centred: 128 + volume-scaled signed sample
                    o8[0] = uint8_t(T8(o8[0] + 128 + (L * s >> 8)));
                    if (m.outCh == 2)
                        o8[1] = uint8_t(T8(o8[1] + 128 + (R * s >> 8)));
                }
            }
        } else {
            int sl = Src(data, m.srcBits, 2 * i), sr = Src(data, m.srcBits, 2 * i + 1);
            if (m.srcBits == 16) {
                if (m.outBits == 16 && m.outCh == 1)
                    o16[0] = int16_t(C16(o16[0] + (((L * sl >> 8) + (R * sr >> 8)) >> 1)));
                else if (m.outBits == 16) {
                    o16[0] = int16_t(C16(o16[0] + (L * sl >> 8)));
                    o16[1] = int16_t(C16(o16[1] + (R * sr >> 8)));
                } else if (m.outCh == 1)
                    o8[0] = uint8_t(T8(o8[0] + 128 + (((L * sl >> 8) + (R * sr >> 8)) >> 9)));
                else {
                    o8[0] = uint8_t(T8(o8[0] + 128 + (L * sl >> 16)));
                    o8[1] = uint8_t(T8(o8[1] + 128 + (R * sr >> 16)));
                }
            } else {
                if (m.outBits == 16 && m.outCh == 1)
                    o16[0] = int16_t(C16(o16[0] + ((L * sl + R * sr) >> 1)));
                else if (m.outBits == 16) {
                    o16[0] = int16_t(C16(o16[0] + L * sl));
                    o16[1] = int16_t(C16(o16[1] + R * sr));
                } else if (m.outCh == 1)
                    o8[0] = uint8_t(T8(o8[0] + 128 + ((L * sl + R * sr) >> 9)));
                else {
                    o8[0] = uint8_t(T8(o8[0] + 128 + (L * sl >> 8)));
                    o8[1] = uint8_t(T8(o8[1] + 128 + (R * sr >> 8)));
                }
            }
        }
    }
}

TEST(Mixers, EveryPcmMixerMatchesItsFormula)
{
    std::mt19937 rng(7);
    const uint32_t steps[] = {0x10000, 0x8000, 0x20000, 0x18000, 0x3A7F, 0x1FFFF};
    const int vols[][2] = {{256, 256}, {128, 200}, {0, 256}, {-256, 256}, {32767, -32768}, {511, 3}};
    for (const MixerCase& m : kPcmMixers) {
        for (uint32_t step : steps) {
            for (auto& v : vols) {
                const int frames = 300;
                size_t need = 16 + (size_t(step) * frames >> 16) + 2;
                std::vector<uint8_t> data;
                for (size_t i = 0, n = need * size_t(m.srcBits / 8 * m.srcCh); i < n; ++i)
                    data.push_back(uint8_t(rng()));
                size_t outBytes = size_t(frames) * size_t(m.outBits / 8 * m.outCh);
                std::vector<uint8_t> out(outBytes), ref;
                for (auto& b : out)
                    b = uint8_t(rng());
                ref = out;
                PMixState s;
                s.data = data.data();
                s.step = step;
                s.position = 5;
                s.fraction = 0x9ABC;
                s.left = int16_t(v[0]);
                s.right = int16_t(v[1]);
                // Two calls must continue exactly where one call would.
                m.fn(&s, out.data(), 120);
                m.fn(&s, out.data() + 120 * (m.outBits / 8 * m.outCh), frames - 120);
                Reference(m, data, 5, 0x9ABC, step, v[0], v[1], ref, frames);
                ASSERT_EQ(out, ref) << m.name << " step " << step << " vol " << v[0] << "," << v[1];
                uint64_t acc = 0x9ABC + uint64_t(step) * frames;
                EXPECT_EQ(s.position, 5 + uint32_t(acc >> 16)) << m.name;
                EXPECT_EQ(s.fraction, uint32_t(acc & 0xFFFF)) << m.name;
            }
        }
    }
}

TEST(Mixers, ClampAndTableEdges)
{
    // 32767 at unity onto 1000 clamps.
    int16_t src = 32767, out = 1000;
    PMixState s;
    s.data = reinterpret_cast<const uint8_t*>(&src);
    PMix_Mono16_Mono16(&s, reinterpret_cast<uint8_t*>(&out), 1);
    EXPECT_EQ(out, 32767);
    // 8-bit output byte 200 plus a full-scale positive sample tops out at 254.
    uint8_t b = 200;
    s.Rewind(0);
    PMix_Mono16_Mono8(&s, &b, 1);
    EXPECT_EQ(b, 254);
    int8_t s8 = 127;
    b = 200;
    s.data = reinterpret_cast<const uint8_t*>(&s8);
    s.Rewind(0);
    PMix_Mono8_Mono8(&s, &b, 1);
    EXPECT_EQ(b, 254);
    // A huge volume cannot index outside the table.
    b = 128;
    s.data = reinterpret_cast<const uint8_t*>(&src);
    s.Rewind(0);
    s.left = 32767;
    PMix_Mono16_Mono8(&s, &b, 1);
    EXPECT_EQ(b, 254);
    src = -32768;
    b = 128;
    s.Rewind(0);
    PMix_Mono16_Mono8(&s, &b, 1);
    EXPECT_EQ(b, 0);
    // At unity an 8-bit sample of 0 leaves an 8-bit output unchanged, and so
    // does any volume (no offset is added by scaling).
    int8_t zero = 0;
    s.data = reinterpret_cast<const uint8_t*>(&zero);
    for (int vol : {256, 100, 0}) {
        b = 77;
        s.Rewind(0);
        s.left = int16_t(vol);
        PMix_Mono8_Mono8(&s, &b, 1);
        EXPECT_EQ(b, 77) << vol;
    }
}

TEST(Mixers, StepRepeatsAndSkips)
{
    int16_t src[8] = {100, 200, 300, 400, 500, 600, 700, 800};
    int16_t out[8] = {};
    PMixState s;
    s.data = reinterpret_cast<const uint8_t*>(src);
    s.step = 0x8000;
    PMix_Mono16_Mono16(&s, reinterpret_cast<uint8_t*>(out), 8);
    EXPECT_EQ(std::vector<int16_t>(out, out + 8), (std::vector<int16_t>{100, 100, 200, 200, 300, 300, 400, 400}));
    EXPECT_EQ(s.position, 4u);
    int16_t out2[4] = {};
    s.Rewind(0);
    s.step = 0x20000;
    PMix_Mono16_Mono16(&s, reinterpret_cast<uint8_t*>(out2), 4);
    EXPECT_EQ(std::vector<int16_t>(out2, out2 + 4), (std::vector<int16_t>{100, 300, 500, 700}));
}

std::vector<int16_t> TestTone(size_t n)
{
    std::vector<int16_t> pcm(n);
    std::mt19937 rng(3);
    for (size_t i = 0; i < n; i++)
        pcm[i] = int16_t(12000 * ((i / 37) % 2 ? 1 : -1) + int(rng() % 4000) - 2000);
    return pcm;
}

// Decodes ADPCM through a mixer at unity volume into a silent 16-bit mono
// block, in calls of varying length.
std::vector<int16_t> MixAdpcm(const std::vector<uint8_t>& data, size_t samples, uint32_t step)
{
    std::vector<int16_t> out(samples, 0);
    PMixState s;
    s.data = data.data();
    s.step = step;
    size_t done = 0;
    int chunk = 1;
    while (done < samples) {
        int n = int(std::min<size_t>(size_t(chunk), samples - done));
        PMixADPCM_Mono16(&s, reinterpret_cast<uint8_t*>(out.data() + done), n);
        done += size_t(n);
        chunk = chunk * 3 % 97 + 1;
    }
    return out;
}

TEST(Mixers, AdpcmHighNibbleFirstAndSkippedSamplesDecoded)
{
    std::vector<int16_t> pcm = TestTone(400);
    std::vector<uint8_t> adpcm = AdpcmEncode(pcm.data(), pcm.size());
    std::vector<int16_t> ref = AdpcmDecode(adpcm.data(), pcm.size());
    // First sample: byte 0's high nibble decoded from predictor 0, index 0.
    int n0 = adpcm[0] >> 4;
    EXPECT_EQ(ref[0], PADPCM_StepTable[0][n0]);
    EXPECT_EQ(MixAdpcm(adpcm, 400, 0x10000), ref);
    // At a step of 2 every other sample is output, the skipped ones decoded.
    std::vector<int16_t> half = MixAdpcm(adpcm, 200, 0x20000);
    for (size_t i = 0; i < 200; i++)
        ASSERT_EQ(half[i], ref[2 * i]) << i;
    // At a step of one half every sample is output twice.
    std::vector<int16_t> twice = MixAdpcm(adpcm, 400, 0x8000);
    for (size_t i = 0; i < 400; i++)
        ASSERT_EQ(twice[i], ref[i / 2]) << i;
    std::vector<int16_t> block(400);
    PADPCM_DecodeBlock(adpcm.data(), 400, block.data());
    EXPECT_EQ(block, ref);
    // Stereo output carries the same samples on both sides, scaled by volume.
    std::vector<int16_t> st(20, 0);
    PMixState s;
    s.data = adpcm.data();
    s.left = 128;
    s.right = 256;
    PMixADPCM_Stereo16(&s, reinterpret_cast<uint8_t*>(st.data()), 10);
    for (int i = 0; i < 10; i++) {
        EXPECT_EQ(st[2 * i], (ref[size_t(i)] * 128) >> 8);
        EXPECT_EQ(st[2 * i + 1], ref[size_t(i)]);
    }
}

TEST(Mixers, AdpcmMatchesPythonAudioop)
{
    if (std::system("python3 -c 'import audioop' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 with audioop is not available";
    // Random nibbles exercise every code, including predictor clamps.
    std::mt19937 rng(11);
    std::vector<uint8_t> adpcm(6000);
    for (auto& b : adpcm)
        b = uint8_t(rng());
    std::vector<int16_t> pcm = TestTone(4000);
    std::vector<uint8_t> tone = AdpcmEncode(pcm.data(), pcm.size());
    adpcm.insert(adpcm.end(), tone.begin(), tone.end());

    tooltest::Result r = tooltest::RunPython(
        "-c 'import audioop,sys; sys.stdout.buffer.write(audioop.adpcm2lin(sys.stdin.buffer.read(),2,None)[0])'",
        std::string(adpcm.begin(), adpcm.end()));
    ASSERT_EQ(r.code, 0);
    std::string const& pyBytes = r.out;
    ASSERT_EQ(pyBytes.size(), adpcm.size() * 4);
    std::vector<int16_t> py(adpcm.size() * 2);
    for (size_t i = 0; i < py.size(); i++)
        py[i] = int16_t(uint8_t(pyBytes[2 * i]) | (uint8_t(pyBytes[2 * i + 1]) << 8));
    EXPECT_EQ(MixAdpcm(adpcm, py.size(), 0x10000), py);
}

} // namespace
