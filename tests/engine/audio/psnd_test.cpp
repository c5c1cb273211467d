// PSND records: header decoding, defaults, and refusal of records no mixer
// could play safely.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>
#include <tuple>

#include "audiotest.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pstream.h"
#include "tools/lib/toolfile.h"
#include "tools/lib/psndwriter.h"

using namespace audiotest;

namespace {

unsigned LoadHeader(std::vector<uint8_t> bytes, PAudioSoundHeader* h, int noMagic = 0)
{
    PMemStream s(bytes.data(), long(bytes.size()));
    return h->Load(s, noMagic);
}

std::unique_ptr<PAudioSound> LoadSound(std::vector<uint8_t> bytes)
{
    PMemStream s(bytes.data(), long(bytes.size()));
    return std::unique_ptr<PAudioSound>(PAudioSound::Load(s));
}

TEST(Psnd, MinimalHeaderGivesAdpcmDefaults)
{
    // Flags 0, header length 4: ADPCM mono at the given rate.
    std::vector<uint8_t> data(50, 0x11);
    PsndFields f;
    f.format = 4;
    f.rate = 22050;
    std::vector<uint8_t> rec = PsndBuild(f, data.data(), data.size());
    ASSERT_EQ(rec[8], 4); // header length
    PAudioSoundHeader h;
    ASSERT_EQ(LoadHeader(rec, &h), 0u);
    EXPECT_EQ(h.info.format, 4);
    EXPECT_EQ(h.info.channels, 1);
    EXPECT_EQ(h.info.rate, 22050);
    EXPECT_EQ(h.info.volume, 256);
    EXPECT_EQ(h.info.priority, 128);
    EXPECT_EQ(h.info.copies, 1);
    EXPECT_EQ(h.info.samples, 100u);
    EXPECT_EQ(h.info.loopStart, 0u);
    EXPECT_EQ(h.info.loopEnd, 100u);
    EXPECT_EQ(h.loopType, 0u);
    EXPECT_EQ(h.adpcm, 1);
    EXPECT_EQ(h.panning, 128);
    EXPECT_EQ(h.dataSize, 50u);
}

TEST(Psnd, EveryFieldAndComputedCounts)
{
    std::vector<uint8_t> data(4000);
    PsndFields f;
    f.format = 16;
    f.channels = 2;
    f.volume = 200;
    f.priority = 9;
    f.copies = 3;
    f.panning = 40;
    f.relativeNote = -12;
    f.fineTune = -7;
    f.adpcmByte = 0;
    PAudioSoundHeader h;
    ASSERT_EQ(LoadHeader(PsndBuild(f, data.data(), data.size()), &h), 0u);
    EXPECT_EQ(h.info.samples, 1000u); // 4000 bytes of 16-bit stereo
    EXPECT_EQ(std::make_tuple(h.info.volume, h.info.priority, h.info.copies, h.panning, h.relativeNote, h.fineTune),
              std::make_tuple(200, 9, 3, 40, -12, -7));

    // Loop end equal to the start becomes start + 1; a start past the end
    // becomes 0.
    f.loop = true;
    f.loopStart = 30;
    f.loopEnd = 30;
    ASSERT_EQ(LoadHeader(PsndBuild(f, data.data(), data.size()), &h), 0u);
    EXPECT_EQ(std::make_tuple(h.info.loopStart, h.info.loopEnd, h.loopType), std::make_tuple(30u, 31u, 1u));
    f.loopStart = 50;
    f.loopEnd = 40;
    ASSERT_EQ(LoadHeader(PsndBuild(f, data.data(), data.size()), &h), 0u);
    EXPECT_EQ(h.info.loopStart, 0u);
    EXPECT_EQ(h.info.loopEnd, 40u);

    // A header of 40 bytes: 30 are decoded, 10 skipped, the data follows.
    PsndFields g;
    g.format = 8;
    g.writeDefaults = true;
    g.samples = 3;
    g.extraHeaderBytes = 23; // 17 bytes of fields
    std::vector<uint8_t> d8 = {5, 6, 7};
    std::vector<uint8_t> rec = PsndBuild(g, d8.data(), d8.size());
    ASSERT_EQ(rec[8] | (rec[9] << 8), 40);
    ASSERT_EQ(LoadHeader(rec, &h), 0u);
    EXPECT_EQ(h.headerLeft, 10u);
    auto s = LoadSound(rec);
    ASSERT_TRUE(s);
    EXPECT_EQ(std::vector<uint8_t>(s->GetData(), s->GetData() + 3), d8);
    // Without the magic (as inside a module).
    PsndFields m;
    m.format = 8;
    std::vector<uint8_t> noMagic = PsndBuild(m, d8.data(), d8.size(), false);
    EXPECT_EQ(LoadHeader(noMagic, &h, 1), 0u);
    EXPECT_EQ(h.info.samples, 3u);
}

TEST(Psnd, UntrustedRecordsAreRefused)
{
    std::vector<uint8_t> data(100, 0);
    auto build = [&](auto edit) {
        PsndFields f;
        f.format = 16;
        edit(f);
        return PsndBuild(f, data.data(), data.size());
    };
    PAudioSoundHeader h;
    EXPECT_NE(LoadHeader(build([](PsndFields& f) { f.channels = 0; }), &h), 0u);
    EXPECT_NE(LoadHeader(build([](PsndFields& f) { f.channels = 3; }), &h), 0u);
    EXPECT_NE(LoadHeader(build([](PsndFields& f) { f.format = 12; }), &h), 0u);
    EXPECT_NE(LoadHeader(build([](PsndFields& f) { f.samples = 51; }), &h), 0u);
    EXPECT_NE(LoadHeader(build([](PsndFields& f) {
                  f.loop = true;
                  f.loopStart = 10;
                  f.loopEnd = 51;
              }),
                         &h),
              0u);
    EXPECT_EQ(LoadHeader(build([](PsndFields& f) { f.samples = 50; }), &h), 0u);

    std::vector<uint8_t> good = build([](PsndFields&) {});
    // Bad magic.
    std::vector<uint8_t> bad = good;
    bad[0] = 'X';
    EXPECT_NE(LoadHeader(bad, &h), 0u);
    // Header length below 4.
    bad = good;
    bad[8] = 3;
    EXPECT_NE(LoadHeader(bad, &h), 0u);
    // Declared size smaller than the header.
    bad = good;
    bad[4] = 2;
    bad[5] = bad[6] = bad[7] = 0;
    EXPECT_NE(LoadHeader(bad, &h), 0u);
    // A flag whose field lies past the header's end.
    {
        PsndFields f;
        f.format = 16;
        std::vector<uint8_t> r = PsndBuild(f, data.data(), data.size());
        r[10] = 0x03; // claims channels and format; the header holds only the format byte
        EXPECT_NE(LoadHeader(r, &h), 0u);
    }
    // Data shorter than announced, and every truncation of a good record.
    for (size_t n = 0; n < good.size(); n++)
        EXPECT_FALSE(LoadSound(std::vector<uint8_t>(good.begin(), good.begin() + long(n)))) << n;
    EXPECT_TRUE(LoadSound(good));
}

TEST(Psnd, LoadsThroughFilesAndPlays)
{
    char dir[] = "/tmp/krv_psnd_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::vector<int16_t> pcm = {1, -2, 300, -400, 5000};
    PsndFields f;
    f.format = 16;
    f.rate = 8000;
    std::vector<uint8_t> rec = PsndBuild(f, pcm.data(), pcm.size() * 2);
    std::string path = std::string(dir) + "/tone.psn";
    ASSERT_TRUE(WriteFileAtomic(path, rec, nullptr));
    std::unique_ptr<PAudioSound> s(PAudioSound::Load(path.c_str()));
    EXPECT_EQ(PAudioSound::Load((std::string(dir) + "/missing.psn").c_str()), nullptr);
    std::remove(path.c_str());
    rmdir(dir);
    ASSERT_TRUE(s);
    PAudioPlayer p(new FakeDevice(16, 1, 8000));
    ASSERT_EQ(p.Play(s.get(), 0, 0), s.get());
    EXPECT_EQ(MixFrames(p, 6), (std::vector<int16_t>{1, -2, 300, -400, 5000, 0}));
}

} // namespace
