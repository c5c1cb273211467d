// The module player: refusal of bad modules, timing, effects, envelopes and
// the mix accumulator.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audiotest.h"
#include "engine/audio/pmusicmodule.h"
#include "engine/runtime/pstream.h"
#include "tools/lib/pmodwriter.h"
#include "tools/lib/psndwriter.h"

using namespace audiotest;

namespace {

// A looping sample of constant value (so every frame of a sounding note is
// non-zero).
std::vector<uint8_t> DcSample(int16_t value, int frames = 64, int volume = 256)
{
    std::vector<int16_t> pcm(size_t(frames), value);
    PsndFields f;
    f.format = 16;
    f.rate = 8363;
    f.volume = volume;
    f.loop = true;
    f.loopStart = 0;
    f.loopEnd = uint32_t(frames);
    f.adpcmByte = 0;
    return PsndBuild(f, pcm.data(), pcm.size() * 2);
}

// One pattern per order entry given, `rows` rows, `channels` channels, a DC
// note on channel 0 at the first row of the first pattern.
PmodSong BaseSong(int patterns = 1, int rows = 4, int channels = 4, uint32_t type = 1)
{
    PmodSong s;
    s.flags = type << 28 | (type == 1 ? 1u : 0u);
    s.speed = 1;
    s.channels = channels;
    for (int p = 0; p < patterns; p++) {
        PmodPattern pat;
        pat.rows = rows;
        pat.cells.assign(size_t(rows) * size_t(channels) * 5, 0);
        s.patterns.push_back(pat);
        s.orders.push_back(uint8_t(p));
    }
    s.samples.push_back(DcSample(8000));
    uint8_t* c = s.Cell(0, 0, 0);
    c[0] = 61;
    c[1] = 1;
    return s;
}

// Effect and parameter of a cell (pattern, row, channel).
void Effect(PmodSong& s, int pattern, int row, int channel, int effect, int param)
{
    s.Cell(pattern, row, channel)[2] = uint8_t(effect);
    s.Cell(pattern, row, channel)[3] = uint8_t(param);
}

std::vector<uint8_t> Build(const PmodSong& s)
{
    std::vector<uint8_t> out;
    std::string err;
    EXPECT_TRUE(PmodBuild(s, &out, &err)) << err;
    return out;
}

std::unique_ptr<PMusicModulePlayer> Load(std::vector<uint8_t> bytes)
{
    PMemStream m(bytes.data(), long(bytes.size()));
    return std::unique_ptr<PMusicModulePlayer>(PMusicModulePlayer::LoadStream(m));
}

struct Rendered {
    std::vector<int16_t> pcm; // 16-bit mono at 44100 Hz
    bool ended = false;
};

// Plays a module until it ends (or `maxFrames`), in blocks of `block`.
Rendered Render(PMusicModulePlayer* m, int loops = 0, int maxFrames = 200000, int block = 441)
{
    PAudioPlayer p(new FakeDevice(16, 1, 44100));
    Rendered r;
    if (!p.Play(m, 0, loops))
        return r;
    while (int(r.pcm.size()) < maxFrames) {
        std::vector<int16_t> out = MixFrames(p, block);
        r.pcm.insert(r.pcm.end(), out.begin(), out.end());
        if (!m->IsPlaying()) {
            r.ended = true;
            break;
        }
    }
    p.Stop(m);
    return r;
}

size_t Sounding(const std::vector<int16_t>& v)
{
    size_t n = 0;
    for (int16_t s : v)
        n += s != 0;
    return n;
}

TEST(Module, BadModulesAreRefused)
{
    std::vector<uint8_t> good = Build(BaseSong());
    ASSERT_TRUE(Load(good));
    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> b = good;
        for (size_t i = 0; i < bytes.size(); i++)
            b[at + i] = bytes[i];
        return Load(b) == nullptr;
    };
    EXPECT_TRUE(patched(0, {'X'}));                 // magic
    EXPECT_TRUE(patched(4, {0xF3, 0x01, 0, 0}));    // declared size 499
    EXPECT_TRUE(patched(8, {29, 0, 0, 0}));         // header size below 30
    EXPECT_TRUE(patched(16, {0}));                  // speed 0
    EXPECT_TRUE(patched(17, {0}));                  // tempo 0
    EXPECT_TRUE(patched(18, {0, 0}));               // song length 0
    EXPECT_TRUE(patched(22, {0, 0}));               // pattern count 0
    EXPECT_TRUE(patched(30, {0, 0}));               // sample count 0
    EXPECT_TRUE(patched(26, {0, 0}));               // no channels
    EXPECT_TRUE(patched(15, {0x30}));               // module type 3
    // Every truncation before the end of the compressed body (the padding
    // after it, the zlib trailer and the final end code are not needed).
    const size_t bodyEnd = 42 + 12 + PLoad32(&good[42 + 8]) - 8;
    for (size_t n = 0; n < bodyEnd; n++)
        EXPECT_FALSE(Load(std::vector<uint8_t>(good.begin(), good.begin() + long(n)))) << n;

    PmodSong s = BaseSong();
    s.orders = {0, 1}; // order beyond the pattern count
    EXPECT_FALSE(Load(Build(s)));
    s = BaseSong();
    s.patterns[0].rows = 0;
    s.patterns[0].cells.clear();
    s.perPatternRows = true;
    EXPECT_FALSE(Load(Build(s))); // a pattern of 0 rows
    s = BaseSong();
    PmodInstrument in;
    in.map.assign(96, 0);
    PmodEnvelope e;
    for (int i = 0; i < 25; i++)
        e.points.push_back({uint16_t(i), 256});
    in.envelopes.push_back(e);
    s.instruments.push_back(in);
    EXPECT_FALSE(Load(Build(s))); // 25 envelope points
    // A stereo sample, and ADPCM data without the ADPCM byte.
    s = BaseSong();
    PsndFields f;
    f.format = 16;
    f.channels = 2;
    std::vector<int16_t> pcm(8, 1);
    s.samples[0] = PsndBuild(f, pcm.data(), 16);
    EXPECT_FALSE(Load(Build(s)));
    f.channels = 1;
    f.format = 4;
    f.adpcmByte = 0;
    s.samples[0] = PsndBuild(f, pcm.data(), 16);
    EXPECT_FALSE(Load(Build(s)));
    // A failed load of an already loaded player leaves it usable.
    std::vector<uint8_t> bad = good;
    bad[16] = 0;
    PMemStream m(bad.data(), long(bad.size()));
    auto p = Load(good);
    EXPECT_EQ(p->Load(m), -1);
    EXPECT_TRUE(Render(p.get()).ended);
}

TEST(Module, ClampedFieldsLoadSafely)
{
    PmodSong s = BaseSong(1, 4, 4, 2);
    // S3M sample with a middle-C rate of 0; a note naming a sample that does
    // not exist; sustain and loop points beyond the envelope.
    PsndFields f;
    f.format = 8;
    f.relativeNote = 0;
    std::vector<uint8_t> d(32, 10);
    s.samples[0] = PsndBuild(f, d.data(), d.size());
    s.Cell(0, 1, 1)[1] = 9;
    s.Cell(0, 1, 1)[0] = 50;
    auto m = Load(Build(s));
    ASSERT_TRUE(m);
    EXPECT_TRUE(Render(m.get()).ended);

    PmodSong x = BaseSong();
    PmodInstrument in;
    in.map.assign(96, 7); // sample 7 does not exist: no sample
    in.map[48] = 0;
    PmodEnvelope e;
    e.flags = 3;
    e.sustain = 5;
    e.loopStart = 1;
    e.loopEnd = 9;
    e.points = {{0, 256}, {4, 300}, {2, 100}};
    in.envelopes.push_back(e);
    x.instruments.push_back(in);
    auto mx = Load(Build(x));
    ASSERT_TRUE(mx);
    Rendered r = Render(mx.get());
    EXPECT_TRUE(r.ended);
}

TEST(Module, TickLengthPanningTempoAndSpeed)
{
    auto m = Load(Build(BaseSong(1, 4, 4, 0)));
    ASSERT_TRUE(m);
    PAudioPlayer p(new FakeDevice(16, 2, 44100));
    ASSERT_TRUE(p.Play(m.get(), 0, 0));
    EXPECT_EQ(m->GetTickSamples(), 882);
    m->SetAdjustBPM(-125);
    MixFrames(p, 2);
    EXPECT_EQ(m->GetTickSamples(), 110250);
    m->SetAdjustBPM(0);
    p.Stop(m.get());
    const int want[4] = {64, 192, 192, 64};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(m->GetChannel(i)->pan, want[i]);

    PmodSong s = BaseSong(1, 4);
    Effect(s, 0, 0, 1, 13, 32); // tempo 32
    Effect(s, 0, 1, 1, 13, 31); // speed 31
    auto t = Load(Build(s));
    Render(t.get(), 0, 2000);
    EXPECT_EQ(t->GetTempo(), 32);
    EXPECT_EQ(t->GetSpeed(), 31);
}

TEST(Module, SongLengthBreakJumpSpeedZeroAndLoops)
{
    // Two orders of four rows at speed 1: eight ticks of 882 frames.
    auto m = Load(Build(BaseSong(2, 4)));
    Rendered r = Render(m.get());
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(Sounding(r.pcm), 8u * 882);
    // Played three times.
    m->Play(1);
    EXPECT_EQ(Sounding(Render(m.get(), 3).pcm), 3u * 8 * 882);

    // A break on row 1 to row 2 of the next order: rows 0, 1, 2, 3.
    PmodSong s = BaseSong(2, 4);
    Effect(s, 0, 1, 2, 12, 0x02);
    EXPECT_EQ(Sounding(Render(Load(Build(s)).get()).pcm), 4u * 882);
    // A jump on row 1 to order 2 with a break to its row 3 (both in the
    // same row): rows 0 and 1, then the last row of the last order.
    s = BaseSong(3, 4);
    Effect(s, 0, 1, 2, 10, 2);
    Effect(s, 0, 1, 3, 12, 0x03);
    EXPECT_EQ(Sounding(Render(Load(Build(s)).get()).pcm), 3u * 882);
    // Speed 0 on row 2 ends the song after two rows.
    s = BaseSong(1, 8);
    Effect(s, 0, 2, 1, 13, 0);
    EXPECT_EQ(Sounding(Render(Load(Build(s)).get()).pcm), 2u * 882);
}

TEST(Module, PeriodsStayInRangeAndNeverDivideByZero)
{
    for (uint32_t type : {0u, 1u, 2u}) {
        for (int eff : {1, 2, 36, 37, 0, 4, 14, 15}) {
            PmodSong s = BaseSong(1, 16, 4, type);
            s.speed = 6;
            s.lowPeriod = eff == 36 ? 400 : 0;
            s.highPeriod = eff == 37 ? 3000 : 0;
            for (int row = 0; row < 16; row++) {
                Effect(s, 0, row, 0, uint8_t(eff), eff == 0 ? 0xCF : 0xFF);
                s.Cell(0, row, 1)[0] = uint8_t(row == 0 ? 132 : 0);
                s.Cell(0, row, 1)[1] = 1;
                s.Cell(0, row, 1)[2] = 20; // retrigger every 0 ticks: nothing
            }
            auto m = Load(Build(s));
            ASSERT_TRUE(m);
            PAudioPlayer p(new FakeDevice(16, 1, 44100));
            p.Play(m.get(), 0, 0);
            while (m->IsPlaying()) {
                MixFrames(p, 1000);
                const PModChannel* c = m->GetChannel(0);
                ASSERT_GE(c->period, 1) << type << " " << eff;
                if (eff == 36) {
                    ASSERT_GE(c->period, 400);
                }
                if (eff == 37) {
                    ASSERT_LE(c->period, 3000);
                }
            }
        }
    }
}

TEST(Module, NotePitchFollowsTheModuleType)
{
    // Note 61 plays the sample's middle C, 8363 Hz, in every type.
    for (uint32_t type : {0u, 1u, 2u}) {
        PmodSong s = BaseSong(1, 4, 4, type);
        if (type == 2) { // the sample's middle-C rate
            PsndFields f;
            f.format = 16;
            f.relativeNote = 8363;
            f.loop = true;
            f.loopEnd = 64;
            std::vector<int16_t> pcm(64, 100);
            s.samples[0] = PsndBuild(f, pcm.data(), 128);
        }
        auto m = Load(Build(s));
        PAudioPlayer p(new FakeDevice(16, 1, 44100));
        p.Play(m.get(), 0, 0);
        MixFrames(p, 10);
        // 535232 >> 6 and 14317456 / 1712 are both 8363.
        const int64_t want = int64_t(((uint64_t(8363) << 16) / 44100 + 1) & ~3ull);
        EXPECT_EQ(m->GetChannel(0)->step, want) << type;
    }
}

TEST(Module, EnvelopeAndFadeOut)
{
    // A volume envelope falling to 0 over 10 ticks silences the note.
    PmodSong s = BaseSong(1, 32);
    PmodInstrument in;
    in.map.assign(96, 0);
    PmodEnvelope e;
    e.points = {{0, 256}, {10, 0}};
    in.envelopes.push_back(e);
    s.instruments.push_back(in);
    Rendered r = Render(Load(Build(s)).get());
    EXPECT_TRUE(r.ended);
    size_t sounding = Sounding(r.pcm);
    EXPECT_GT(sounding, 9u * 882);
    EXPECT_LE(sounding, 11u * 882);

    // A held envelope with a loop: key off on row 4 starts a fade of
    // 2 x 4096 per tick, which reaches 0 after 8 ticks.
    PmodSong k = BaseSong(1, 32);
    PmodInstrument ki;
    ki.map.assign(96, 0);
    ki.fadeout = 4096;
    PmodEnvelope ke;
    ke.flags = 1;
    ke.loopStart = 0;
    ke.loopEnd = 1;
    ke.points = {{0, 256}, {2, 256}};
    ki.envelopes.push_back(ke);
    k.instruments.push_back(ki);
    k.Cell(0, 4, 0)[0] = 255;
    Rendered kr = Render(Load(Build(k)).get());
    size_t ks = Sounding(kr.pcm);
    EXPECT_GT(ks, 4u * 882 + 6 * 882);
    EXPECT_LE(ks, 4u * 882 + 9 * 882);
    // Without instruments a key off silences at once.
    PmodSong q = BaseSong(1, 32);
    q.Cell(0, 4, 0)[0] = 255;
    EXPECT_EQ(Sounding(Render(Load(Build(q)).get()).pcm), 4u * 882);
}

TEST(Module, AccumulatorSaturatesAndMasterVolumeIsClamped)
{
    // 32 channels of full-scale DC: the sum would wrap a 32-bit value.
    PmodSong s = BaseSong(1, 4, 32);
    s.samples[0] = DcSample(32767);
    for (int ch = 0; ch < 32; ch++) {
        s.Cell(0, 0, ch)[0] = 61;
        s.Cell(0, 0, ch)[1] = 1;
    }
    auto m = Load(Build(s));
    m->SetVolume(1000);
    EXPECT_EQ(m->GetVolume(), 256);
    Rendered r = Render(m.get(), 0, 3000);
    ASSERT_GE(r.pcm.size(), 3000u);
    for (size_t i = 0; i < 3000; i++)
        ASSERT_EQ(r.pcm[i], 32767) << i;
    // Surround inverts the left side; at separation 0 both sides are equal.
    PAudioPlayer p(new FakeDevice(16, 2, 44100));
    m->SetDolbySurround(1);
    EXPECT_EQ(m->GetDolbySurround(), 1);
    m->SetStereoSeparation(0);
    m->Unprepare(); // it was last prepared for a mono output
    p.Play(m.get(), 1, 0);
    std::vector<int16_t> st(20);
    p.Mix(reinterpret_cast<unsigned char*>(st.data()), 40);
    EXPECT_EQ(st[0], -32768);
    EXPECT_EQ(st[1], 32767);
}

TEST(Module, PositionAndDeletionWhilePlaying)
{
    auto* m = Load(Build(BaseSong(3, 8))).release();
    m->SetPosition(0x0205);
    EXPECT_EQ(m->GetPosition(), 0x0205u);
    m->SetPosition(0x0920); // clamped to the last order and row
    EXPECT_EQ(m->GetPosition(), 0x0207u);
    PAudioPlayer p(new FakeDevice(16, 1, 44100));
    p.Play(m, 0, -1);
    MixFrames(p, 100);
    delete m; // stops itself first
    EXPECT_EQ(p.GetActiveCount(), 0);
    MixFrames(p, 100);
}

} // namespace
