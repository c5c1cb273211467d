// The player and its channel list, on a device without a thread.
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "audiotest.h"

using namespace audiotest;

namespace {

struct PlayerTest : ::testing::Test {
    FakeDevice* dev = new FakeDevice();
    PAudioPlayer player{dev};
    std::vector<std::unique_ptr<PAudioSound>> sounds;

    PAudioSound* Sound(uint32_t samples, int priority = 128, int copies = 1, int base = 1000)
    {
        sounds.emplace_back(MakeSound(samples, priority, copies, base));
        return sounds.back().get();
    }
    std::vector<const PAudioChannel*> Active() const
    {
        std::vector<const PAudioChannel*> v;
        for (const PAudioChannel* c = player.GetHead(); c; c = PAudioPlayer::Next(c))
            v.push_back(c);
        return v;
    }
};

TEST_F(PlayerTest, VoiceLimitStealsNearestTheHeadAndRejectsLowerPriority)
{
    PAudioSound* s[4];
    for (auto& p : s) {
        p = Sound(100);
        ASSERT_EQ(player.Play(p, 0, 0), p);
    }
    EXPECT_EQ(Active(), (std::vector<const PAudioChannel*>{s[3], s[2], s[1], s[0]}));
    // Equal priority: the one nearest the head (the latest started) goes.
    PAudioSound* e = Sound(100);
    EXPECT_EQ(player.Play(e, 0, 0), e);
    EXPECT_FALSE(s[3]->IsPlaying());
    EXPECT_EQ(Active(), (std::vector<const PAudioChannel*>{e, s[2], s[1], s[0]}));
    // Lower priority than every voice: rejected.
    PAudioSound* low = Sound(100, 100);
    EXPECT_EQ(player.Play(low, 0, 0), nullptr);
    EXPECT_FALSE(low->IsPlaying());
    EXPECT_EQ(player.GetActiveCount(), 4);
    // The lowest priority anywhere in the list is the victim.
    player.StopAll();
    PAudioSound* a = Sound(100, 50);
    player.Play(a, 0, 0);
    for (int i = 0; i < 3; i++)
        player.Play(Sound(100, 128), 0, 0);
    PAudioSound* hi = Sound(100, 60);
    EXPECT_EQ(player.Play(hi, 0, 0), hi);
    EXPECT_FALSE(a->IsPlaying());
    EXPECT_EQ(player.GetActiveCount(), 4);
}

TEST_F(PlayerTest, CopyLimitCopiesAndTheFreeList)
{
    PAudioSound* s = Sound(100, 128, 1);
    EXPECT_EQ(player.Play(s, 0, 0), s);
    // Already playing with a copy limit of 1: nothing new starts.
    EXPECT_EQ(player.Play(s, 0, 0), s);
    EXPECT_EQ(player.GetActiveCount(), 1);
    // Flag 8 starts a copy regardless of the limit.
    PAudioChannel* c = player.Play(s, 8, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c, s);
    EXPECT_TRUE(c->GetFlags() & PCH_COPY);
    EXPECT_EQ(s->GetActiveCopies(), 2u);
    EXPECT_EQ(player.GetCopiesAllocated(), 1);
    // Stopping the sound stops its copies; the copy is recycled.
    player.Stop(s);
    EXPECT_EQ(player.GetActiveCount(), 0);
    EXPECT_FALSE(c->IsPlaying());
    EXPECT_EQ(s->GetActiveCopies(), 0u);
    EXPECT_EQ(player.Play(s, 8, 0), c);
    EXPECT_EQ(player.GetCopiesAllocated(), 1);
    player.StopAll();

    // No limit: every Play of a sounding channel adds a copy.
    player.SetMixerChannels(16);
    PAudioSound* u = Sound(100, 128, 0);
    for (int i = 0; i < 6; i++)
        player.Play(u, 0, 0);
    EXPECT_EQ(player.GetActiveCount(), 6);
    EXPECT_EQ(player.GetCopiesAllocated(), 5);
    // Stop trims the free list down to three copies.
    player.StopAll();
    EXPECT_EQ(player.GetCopiesAllocated(), 3);
}

TEST_F(PlayerTest, LoopsPlayFromStartThenRepeatTheLoop)
{
    PAudioInfo info{};
    info.format = 16;
    info.channels = 1;
    info.rate = 8000;
    info.volume = 256;
    info.priority = 128;
    info.copies = 1;
    info.samples = 10;
    info.loopStart = 4;
    info.loopEnd = 8;
    auto* data = new unsigned char[20];
    for (int i = 0; i < 10; i++) {
        int16_t v = int16_t(100 + i);
        std::memcpy(data + 2 * i, &v, 2);
    }
    PAudioSound s(data, info);
    ASSERT_EQ(player.Play(&s, 0, 3), &s);
    std::vector<int16_t> out = MixFrames(player, 20);
    std::vector<int16_t> want = {100, 101, 102, 103, 104, 105, 106, 107, 104, 105,
                                 106, 107, 104, 105, 106, 107, 0,   0,   0,   0};
    EXPECT_EQ(out, want);
    EXPECT_FALSE(s.IsPlaying());
}

TEST_F(PlayerTest, MixOfSeveralChannelsEqualsAReferenceMix)
{
    auto* stereo = new FakeDevice(16, 2, 8000);
    PAudioPlayer p(stereo);
    struct Voice {
        uint32_t samples;
        int base, hz, left, right;
    };
    const Voice voices[] = {{500, 20000, 8000, 256, 256}, {37, -3000, 11025, 300, 100},
                            {900, 15000, 4000, 256, -128}, {64, 30000, 16000, 200, 256}};
    std::vector<std::unique_ptr<PAudioSound>> own;
    for (const Voice& v : voices) {
        own.emplace_back(MakeSound(v.samples, 128, 1, v.base));
        own.back()->SetFrequency(v.hz);
        own.back()->SetVolume2(v.left, v.right);
        ASSERT_NE(p.Play(own.back().get(), 0, 0), nullptr);
    }
    const int frames = 700;
    std::vector<int16_t> out(frames * 2);
    // Two blocks of different sizes.
    p.Mix(reinterpret_cast<unsigned char*>(out.data()), 300 * 4);
    p.Mix(reinterpret_cast<unsigned char*>(out.data() + 600), 400 * 4);

    // Reference: channels in list order (the last started first), each added
    // with a clamp, nearest-sample pick-up at hz / 8000.
    std::vector<int16_t> ref(frames * 2, 0);
    for (int vi = 3; vi >= 0; vi--) {
        const Voice& v = voices[vi];
        uint64_t step = (uint64_t(v.hz) << 16) / 8000;
        for (int f = 0; f < frames; f++) {
            uint64_t idx = (step * uint64_t(f)) >> 16;
            if (idx >= v.samples)
                break;
            int s = int16_t(v.base + int(idx));
            auto add = [](int16_t& o, int c) {
                int x = o + c;
                o = int16_t(x < -32768 ? -32768 : (x > 32767 ? 32767 : x));
            };
            add(ref[2 * f], (v.left * s) >> 8);
            add(ref[2 * f + 1], (v.right * s) >> 8);
        }
    }
    EXPECT_EQ(out, ref);
    EXPECT_EQ(p.GetActiveCount(), 1); // only the longest, slowest voice is left
}

TEST_F(PlayerTest, SilentChannelKeepsTimeAndEndsWithTheAudibleOne)
{
    PAudioSound* loud = Sound(250);
    PAudioSound* quiet = Sound(250);
    quiet->SetVolume(0);
    player.Play(loud, 0, 0);
    player.Play(quiet, 0, 0);
    int blocks = 0;
    while (loud->IsPlaying() && blocks < 100) {
        EXPECT_TRUE(quiet->IsPlaying());
        EXPECT_EQ(quiet->GetPosition(), loud->GetPosition());
        MixFrames(player, 64);
        blocks++;
    }
    EXPECT_EQ(blocks, 4);
    EXPECT_FALSE(quiet->IsPlaying());
}

TEST_F(PlayerTest, MixerChannelsStartAndFocusEvents)
{
    player.SetMixerChannels(0);
    player.SetMixerChannels(-3);
    EXPECT_EQ(player.GetMixerChannels(), 4);
    player.SetMixerChannels(6);
    EXPECT_EQ(player.GetMixerChannels(), 6);

    EXPECT_EQ(player.Start(), 0);
    EXPECT_EQ(player.Start(), 0); // already started: the device is not asked again
    EXPECT_EQ(dev->starts, 1);
    EXPECT_EQ(player.OnEvent(4, 0, 0), 1);
    EXPECT_FALSE(player.IsStarted());
    EXPECT_EQ(dev->stops, 1);
    EXPECT_EQ(player.OnEvent(4, 1, 1), 1);
    EXPECT_TRUE(player.IsStarted());
    EXPECT_EQ(dev->starts, 2);
    // Focus regained without an event stop before it: nothing restarts.
    player.Stop();
    player.OnEvent(4, 1, 1);
    EXPECT_FALSE(player.IsStarted());
    // Orientation: 0, 2 and 8 resume; anything else stops.
    player.Start();
    player.OnEvent(35, 1, 0);
    EXPECT_FALSE(player.IsStarted());
    player.OnEvent(35, 2, 0);
    EXPECT_TRUE(player.IsStarted());
    EXPECT_EQ(player.OnEvent(7, 0, 0), 0);
    // A failing device start leaves the player not started.
    player.Stop();
    dev->startResult = -1;
    EXPECT_EQ(player.Start(), -1);
    EXPECT_FALSE(player.IsStarted());
}

TEST_F(PlayerTest, DeletingAPlayingSoundStopsItAndItsCopies)
{
    PAudioSound* s = MakeSound(1000, 128, 0);
    for (int i = 0; i < 3; i++)
        player.Play(s, 0, 0);
    EXPECT_EQ(player.GetActiveCount(), 3);
    delete s;
    EXPECT_EQ(player.GetActiveCount(), 0);
    // The recycled copies never touch the freed data.
    std::vector<int16_t> out = MixFrames(player, 32);
    EXPECT_EQ(out, std::vector<int16_t>(32, 0));
    // A new sound at the same address gets a correct copy from the free list.
    PAudioSound* t = Sound(1000, 128, 0, 5);
    player.Play(t, 0, 0);
    PAudioChannel* c = player.Play(t, 0, 0);
    ASSERT_NE(c, t);
    player.Stop(t);
    c = player.Play(t, 8, 0);
    std::vector<int16_t> o2 = MixFrames(player, 4);
    EXPECT_EQ(o2, (std::vector<int16_t>{5, 6, 7, 8}));

    // A sound still playing when its player goes away can be deleted after.
    auto* p2 = new PAudioPlayer(new FakeDevice());
    PAudioSound* u = MakeSound(100);
    p2->Play(u, 0, 0);
    p2->Play(u, 8, 0);
    delete p2;
    EXPECT_FALSE(u->IsPlaying());
    delete u;
}

// A channel that is not a sample sound (as a module player is).
class ToneChannel : public PAudioChannel {
public:
    ToneChannel() : PAudioChannel(nullptr) { m_info.samples = 1000; }
    int Mix(unsigned char* out, int frames) override
    {
        int16_t* o = reinterpret_cast<int16_t*>(out);
        for (int i = 0; i < frames; i++)
            o[i] = int16_t(o[i] + 7);
        m_mix.position += uint32_t(frames);
        return 1;
    }
};

TEST_F(PlayerTest, Flag8NeverCopiesANonSampleChannel)
{
    ToneChannel t;
    EXPECT_EQ(player.Play(&t, 8, 0), &t);
    EXPECT_EQ(player.Play(&t, 8, 0), &t);
    EXPECT_EQ(player.Play(&t, 0, 0), &t);
    EXPECT_EQ(player.GetActiveCount(), 1);
    EXPECT_EQ(player.GetCopiesAllocated(), 0);
    EXPECT_EQ(MixFrames(player, 3), (std::vector<int16_t>{7, 7, 7}));
    player.Stop(&t);
}

TEST_F(PlayerTest, HeadSlotPauseResumeAndRestart)
{
    PAudioSound* a = Sound(100);
    PAudioSound* b = Sound(100);
    PAudioSound* c = Sound(100);
    player.Play(a, 64, 0);
    player.Play(b, 0, 0);
    EXPECT_EQ(Active(), (std::vector<const PAudioChannel*>{a, b}));
    player.Play(c, 64, 0); // takes the head slot from a
    EXPECT_FALSE(a->IsPlaying());
    EXPECT_EQ(Active(), (std::vector<const PAudioChannel*>{c, b}));
    player.StopAll();

    PAudioSound* s = Sound(100, 128, 1, 0);
    player.Play(s, 0, 0);
    MixFrames(player, 5);
    player.Pause(s);
    EXPECT_FALSE(s->IsPlaying());
    EXPECT_TRUE(s->GetFlags() & PCH_PAUSED);
    EXPECT_EQ(MixFrames(player, 2), (std::vector<int16_t>{0, 0}));
    player.Play(s, 0, 0); // resumes where it paused
    EXPECT_EQ(MixFrames(player, 2), (std::vector<int16_t>{5, 6}));
    player.Play(s, 1, 0); // restarts from the beginning
    EXPECT_EQ(MixFrames(player, 2), (std::vector<int16_t>{0, 1}));
    // A playing copy moved into the head slot stays off the free list.
    PAudioSound* u = Sound(100, 128, 0, 0);
    player.Play(u, 0, 0);
    PAudioChannel* copy = player.Play(u, 0, 0);
    ASSERT_NE(copy, u);
    EXPECT_EQ(player.Play(copy, 1 | 64, 0), copy);
    EXPECT_EQ(Active().front(), copy);
    EXPECT_EQ(player.Play(u, 8, 0) == copy, false);
}

TEST_F(PlayerTest, RejectedCopyAndUnpreparableChannel)
{
    player.SetMixerChannels(1);
    PAudioSound* hi = Sound(100, 200);
    PAudioSound* lo = Sound(100, 100, 0);
    player.Play(hi, 0, 0);
    EXPECT_EQ(player.Play(lo, 8, 0), nullptr); // the copy is rejected and recycled
    EXPECT_EQ(player.GetActiveCount(), 1);
    // A device without a rate cannot prepare a channel.
    PAudioPlayer p(new FakeDevice(16, 1, 0));
    PAudioSound* s = Sound(10);
    EXPECT_EQ(p.Play(s, 0, 0), nullptr);
    EXPECT_EQ(p.GetActiveCount(), 0);
    EXPECT_FALSE(s->IsPlaying());
    EXPECT_EQ(player.Play(nullptr, 0, 0), nullptr);
    player.Stop(nullptr);
}

TEST(Device, MixerSlotsFollowTheOutputFormat)
{
    FakeDevice m16(16, 1), s16(16, 2), m8(8, 1), s8(8, 2);
    EXPECT_EQ(m16.GetMixer(8, 1), PMix_Mono8_Mono16);
    EXPECT_EQ(s16.GetMixer(4, 2), PMixADPCM_Stereo16);
    EXPECT_EQ(s8.GetMixer(16, 2), PMix_Stereo16_Stereo8);
    EXPECT_EQ(s8.GetMixer(12, 1), nullptr);
    EXPECT_EQ(s8.GetMixer(16, 3), nullptr);
    // An 8-bit player clears its block to 128 before mixing.
    PAudioPlayer p(new FakeDevice(8, 1, 22050));
    std::vector<unsigned char> out(551, 7);
    p.Mix(out.data(), 551);
    EXPECT_EQ(out, std::vector<unsigned char>(551, 128));
}

TEST(Channel, SettersAndPan)
{
    std::unique_ptr<PAudioSound> s(MakeSound(100));
    s->SetVolume2(40000, -40000);
    int l, r;
    s->GetVolume2(l, r);
    EXPECT_EQ(l, 32767);
    EXPECT_EQ(r, -32768);
    s->SetPan(0, false, 128, false);
    s->GetVolume2(l, r);
    EXPECT_EQ(l, 256);
    EXPECT_EQ(r, 0);
    s->SetPan(192, true, 128, true);
    s->GetVolume2(l, r);
    EXPECT_EQ(l, -128);
    EXPECT_EQ(r, 384);
    FakeDevice d(16, 2, 22050);
    ASSERT_EQ(s->Prepare(d), 1);
    EXPECT_EQ(s->GetStep(), (8000u << 16) / 22050);
    s->SetFrequency(44100);
    EXPECT_EQ(s->GetStep(), 0x20000u);
    s->SetFrequency(-5);
    EXPECT_EQ(s->GetStep(), 0u);
    s->SetPosition(1000); // beyond the data: back to 0
    EXPECT_EQ(s->GetPosition(), 0u);
}

} // namespace
