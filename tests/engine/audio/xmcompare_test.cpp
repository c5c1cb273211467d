// The same song built as PMOD (played by the engine) and as XM (played by
// libxmp): each isolated note must have the same pitch (within 0.5%) and
// start at the same time (within one tick).
#include <cmath>
#include <complex>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audiotest.h"
#include "engine/audio/pmusicmodule.h"
#include "engine/runtime/pstream.h"
#include "tools/lib/songtext.h"

#ifdef KRV_HAVE_LIBXMP
#include <xmp.h>
#endif

using namespace audiotest;

namespace {

constexpr int kRate = 44100;
constexpr int kTick = 882; // 2.5 / 125 s

const char* kSong = R"(
name pitch and timing
type xm
speed 6
tempo 125
channels 4
sample tone sine 64 amp 20000
sample low saw 128 amp 16000 relnote 12
sample fine sine 100 finetune 37
order 0 1
pattern 0 rows 32
0: C-4 tone
3: off
4: . | E-3 tone
7: . | off
8: . | . | G-5 low
11: . | . | off
12: . | . | . | A-2 fine
15: . | . | . | off
16: F#4 fine
19: off
20: . | B-5 tone
23: . | off
24: D-2 low
27: off
pattern 1 rows 16
0: . | . | C-6 tone
3: . | . | off
6: . | A#3 low
9: . | off
12: . | . | . | . . 13 0
)";

std::vector<int16_t> RenderOurs(const std::vector<uint8_t>& pmf)
{
    std::vector<uint8_t> bytes = pmf;
    PMemStream in(bytes.data(), long(bytes.size()));
    std::unique_ptr<PMusicModulePlayer> m(PMusicModulePlayer::LoadStream(in));
    EXPECT_TRUE(m);
    std::vector<int16_t> out;
    if (!m)
        return out;
    PAudioPlayer p(new FakeDevice(16, 1, kRate));
    p.Play(m.get(), 0, 0);
    while (m->IsPlaying() && out.size() < size_t(kRate) * 30) {
        std::vector<int16_t> b = MixFrames(p, 1024);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

// Start of each sound after at least `gap` silent samples.
std::vector<size_t> Onsets(const std::vector<int16_t>& pcm, int threshold = 200, size_t gap = 300)
{
    std::vector<size_t> on;
    size_t quiet = gap;
    for (size_t i = 0; i < pcm.size(); i++) {
        if (std::abs(pcm[i]) > threshold) {
            if (quiet >= gap)
                on.push_back(i);
            quiet = 0;
        } else {
            quiet++;
        }
    }
    return on;
}

// Peak frequency of a stretch, by a Hann-windowed, zero-padded FFT with
// parabolic interpolation of the peak.
double Pitch(const std::vector<int16_t>& pcm, size_t from, size_t count)
{
    const size_t n = 1 << 17;
    std::vector<std::complex<double>> x(n);
    for (size_t i = 0; i < count && from + i < pcm.size(); i++) {
        double w = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(count - 1));
        x[i] = w * pcm[from + i];
    }
    for (size_t i = 1, j = 0; i < n; i++) { // bit reversal
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        std::complex<double> wl = std::polar(1.0, -2 * M_PI / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < len / 2; k++, w *= wl) {
                auto u = x[i + k], v = x[i + k + len / 2] * w;
                x[i + k] = u + v;
                x[i + k + len / 2] = u - v;
            }
        }
    }
    size_t best = 1;
    for (size_t i = 2; i < n / 2; i++)
        if (std::abs(x[i]) > std::abs(x[best]))
            best = i;
    double a = std::log(std::abs(x[best - 1]) + 1e-9), b = std::log(std::abs(x[best]) + 1e-9),
           c = std::log(std::abs(x[best + 1]) + 1e-9);
    double off = 0.5 * (a - c) / (a - 2 * b + c);
    return (double(best) + off) * kRate / double(n);
}

TEST(XmCompare, PitchAndRowTimingMatchLibxmp)
{
#ifndef KRV_HAVE_LIBXMP
    GTEST_SKIP() << "libxmp is not available";
#else
    SongText song;
    std::string err;
    ASSERT_TRUE(SongParse(kSong, ".", &song, &err)) << err;
    std::vector<uint8_t> pmf, xm;
    ASSERT_TRUE(PmodBuild(song.pmod, &pmf, &err)) << err;
    ASSERT_TRUE(SongToXm(song, &xm, &err)) << err;

    std::vector<int16_t> ours = RenderOurs(pmf);

    xmp_context ctx = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(ctx, xm.data(), long(xm.size())), 0);
    ASSERT_EQ(xmp_start_player(ctx, kRate, XMP_FORMAT_MONO), 0);
    xmp_set_player(ctx, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
    std::vector<int16_t> theirs;
    std::vector<int16_t> buf(1024);
    while (theirs.size() < size_t(kRate) * 30 &&
           xmp_play_buffer(ctx, buf.data(), int(buf.size() * 2), 1) == 0)
        theirs.insert(theirs.end(), buf.begin(), buf.end());
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);

    std::vector<size_t> a = Onsets(ours), b = Onsets(theirs);
    ASSERT_EQ(a.size(), 9u);
    ASSERT_EQ(b.size(), a.size());
    for (size_t i = 0; i < a.size(); i++) {
        const long diff = long(a[i]) - long(b[i]);
        EXPECT_LE(std::labs(diff), kTick) << "note " << i << " starts at " << a[i] << " here, " << b[i] << " in libxmp";
        // Three rows of six ticks sound; measure well inside them.
        const size_t len = 3 * 6 * kTick - 2000;
        const double fa = Pitch(ours, a[i] + 500, len), fb = Pitch(theirs, b[i] + 500, len);
        EXPECT_NEAR(fa / fb, 1.0, 0.005) << "note " << i << ": " << fa << " Hz here, " << fb << " Hz in libxmp";
    }
#endif
}

} // namespace
