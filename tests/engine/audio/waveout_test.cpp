// The PCM output device and its playback thread. Every check is on content
// (what reached the sink), never on speed.
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>
#include <tuple>

#include "audiotest.h"
#include "engine/audio/paudiowaveout.h"
#include "host/pcm.h"
#include "tools/lib/wavfile.h"

using namespace audiotest;

namespace {

// What a scripted sink does and records.
struct Script {
    std::mutex lock;
    std::vector<uint8_t> written; // the first bytes accepted
    size_t keep = 1 << 20;
    int opens = 0;
    int writes = 0;
    int prepares = 0;
    int drains = 0;
    int underrunAt = -1;  // this write reports an underrun
    int shortEvery = 0;   // every n-th write takes half and says "try again"
    bool alwaysAgain = false;
    bool alwaysFail = false; // fails with EIO while the status stays "running"
};

class ScriptSink : public HostPcm {
public:
    explicit ScriptSink(Script* s) : m_s(s) {}
    int Write(const void* data, int bytes, int* err) override
    {
        usleep(50); // keeps the thread from filling memory with silence
        std::lock_guard<std::mutex> g(m_s->lock);
        int n = ++m_s->writes;
        if (m_s->alwaysAgain) {
            *err = HOST_PCM_EAGAIN;
            return 0;
        }
        if (m_s->alwaysFail) {
            *err = HOST_PCM_EIO;
            return -1;
        }
        if (m_state == HOST_PCM_UNDERRUN || n == m_s->underrunAt) {
            m_state = HOST_PCM_UNDERRUN;
            *err = HOST_PCM_EIO;
            return -1;
        }
        int take = bytes;
        if (m_s->shortEvery && n % m_s->shortEvery == 0)
            take = (bytes / 2) & ~3;
        auto* p = static_cast<const uint8_t*>(data);
        if (m_s->written.size() < m_s->keep)
            m_s->written.insert(m_s->written.end(), p, p + take);
        m_state = HOST_PCM_RUNNING;
        if (take < bytes)
            *err = HOST_PCM_EAGAIN;
        return take;
    }
    int Status() override { return m_state; }
    int Prepare() override
    {
        std::lock_guard<std::mutex> g(m_s->lock);
        m_s->prepares++;
        m_state = HOST_PCM_READY;
        return 0;
    }
    int Drain() override
    {
        std::lock_guard<std::mutex> g(m_s->lock);
        m_s->drains++;
        return 0;
    }
    int FragmentBytes() const override { return m_fragment; }

    int m_fragment = 4096;

private:
    Script* m_s;
    int m_state = HOST_PCM_READY;
};

HostPcm* MakeScriptSink(const HostPcmParams& p, void* user)
{
    auto* s = static_cast<Script*>(user);
    {
        std::lock_guard<std::mutex> g(s->lock);
        s->opens++;
    }
    auto* sink = new ScriptSink(s);
    sink->m_fragment = p.fragmentBytes;
    return sink;
}

struct WaveOutTest : ::testing::Test {
    Script script;
    void SetUp() override { HostPcmSetFactory(MakeScriptSink, &script); }
    void TearDown() override { HostPcmSetFactory(nullptr, nullptr); }
};

// The stream must start with the sound's samples (scaled) on both sides,
// exactly once, then silence.
void ExpectSoundThenSilence(const std::vector<uint8_t>& bytes, uint32_t samples, int base, int volume)
{
    ASSERT_GE(bytes.size(), size_t(samples) * 4 + 64);
    for (uint32_t i = 0; i < samples + 16; i++) {
        int16_t l, r;
        std::memcpy(&l, &bytes[i * 4], 2);
        std::memcpy(&r, &bytes[i * 4 + 2], 2);
        int want = i < samples ? ((base + int(i)) * volume) >> 8 : 0;
        ASSERT_EQ(l, want) << "frame " << i;
        ASSERT_EQ(r, want) << "frame " << i;
    }
}

TEST_F(WaveOutTest, OpenDefaultsAndEightBitBlock)
{
    std::unique_ptr<PAudioPlayer> p(PAudioPlayer::Open(nullptr));
    ASSERT_TRUE(p);
    const PAudioDeviceSettings& s = p->GetDevice()->GetSettings();
    EXPECT_EQ(s.blockBytes, 4410u);
    EXPECT_FALSE(p->IsStarted());

    PAudioDeviceSettings in{};
    in.bits = 8;
    in.channels = 1;
    in.rate = 22050;
    std::unique_ptr<PAudioPlayer> q(PAudioPlayer::Open(&in));
    ASSERT_TRUE(q);
    EXPECT_EQ(q->GetDevice()->GetSettings().blockBytes, 551u);
    in.channels = 3;
    EXPECT_EQ(PAudioPlayer::Open(&in), nullptr);
}

TEST_F(WaveOutTest, ThreadWritesEveryMixedByteOnceThroughShortWritesAndUnderruns)
{
    script.shortEvery = 3;
    script.underrunAt = 5;
    std::unique_ptr<PAudioPlayer> p(PAudioPlayer::Open(nullptr));
    ASSERT_TRUE(p);
    std::unique_ptr<PAudioSound> s(MakeSound(5000, 128, 1, 100, 44100));
    ASSERT_EQ(p->Play(s.get(), 0, 0), s.get()); // in the list before the first block
    ASSERT_EQ(p->Start(), 0);
    EXPECT_EQ(p->Start(), 0); // a second start opens nothing and starts no thread
    ASSERT_TRUE(WaitDone(p.get(), s.get()));
    p->Stop();
    EXPECT_EQ(script.opens, 1);
    EXPECT_GE(script.prepares, 2); // once at start, once after the underrun
    EXPECT_GE(script.drains, 1);
    auto* dev = static_cast<PAudioDeviceWaveOut*>(p->GetDevice());
    EXPECT_EQ(dev->GetBufferSize() % 4, 0); // whole frames
    ExpectSoundThenSilence(script.written, 5000, 100, 256);
}

TEST_F(WaveOutTest, OutputVolumeScalesTheBlock)
{
    std::unique_ptr<PAudioPlayer> p(PAudioPlayer::Open(nullptr));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->GetDevice()->SetVolume(128, 0), 0x01000100u);
    EXPECT_EQ(p->GetDevice()->GetVolume(), 0x00800080);
    EXPECT_EQ(p->GetDevice()->SetVolume(1000), 0x00800080u); // clamped to 256 next
    p->GetDevice()->SetVolume(128);
    std::unique_ptr<PAudioSound> s(MakeSound(3000, 128, 1, 1000, 44100));
    p->Play(s.get(), 0, 0);
    ASSERT_EQ(p->Start(), 0);
    ASSERT_TRUE(WaitDone(p.get(), s.get()));
    p->Stop();
    ExpectSoundThenSilence(script.written, 3000, 1000, 128);
}

TEST_F(WaveOutTest, StopReturnsWhenTheSinkNeverAccepts)
{
    for (int mode = 0; mode < 2; mode++) {
        script.alwaysAgain = mode == 0;
        script.alwaysFail = mode == 1;
        std::unique_ptr<PAudioPlayer> p(PAudioPlayer::Open(nullptr));
        ASSERT_TRUE(p);
        ASSERT_EQ(p->Start(), 0);
        while (true) { // let the thread reach the failing write
            std::lock_guard<std::mutex> g(script.lock);
            if (script.writes > 20)
                break;
        }
        EXPECT_EQ(p->Stop(), 0);
        EXPECT_FALSE(p->IsStarted());
    }
}

TEST_F(WaveOutTest, FocusChurnNeverDeadlocks)
{
    std::unique_ptr<PAudioPlayer> p(PAudioPlayer::Open(nullptr));
    ASSERT_TRUE(p);
    std::unique_ptr<PAudioSound> s(MakeSound(400, 128, 0, 1, 44100));
    ASSERT_EQ(p->Start(), 0);
    for (int i = 0; i < 10000; i++) {
        if (i % 7 == 0)
            p->Play(s.get(), 0, -1);
        p->OnEvent(4, 0, 0);
        ASSERT_FALSE(p->IsStarted());
        p->OnEvent(4, 1, 1);
        ASSERT_TRUE(p->IsStarted());
        if (i % 11 == 0)
            p->Stop(s.get());
    }
    EXPECT_EQ(script.opens, 10001);
    p->StopAll();
}

TEST_F(WaveOutTest, DeletingSoundsWhileTheThreadMixes)
{
    std::unique_ptr<PAudioPlayer> p(PAudioPlayer::Open(nullptr));
    ASSERT_TRUE(p);
    p->SetMixerChannels(8);
    ASSERT_EQ(p->Start(), 0);
    for (int i = 0; i < 2000; i++) {
        PAudioSound* s = MakeSound(2000, 128, 0, i, 44100);
        p->Play(s, 0, -1);
        p->Play(s, 8, 0);
        p->Play(s, 0, 0);
        if (i % 3 == 0)
            usleep(10);
        s->SetVolume(i & 255);
        s->SetFrequency(22050 + i);
        delete s;
    }
    p->Lock();
    EXPECT_EQ(p->GetActiveCount(), 0);
    p->Unlock();
    p->Stop();
}

TEST(WaveOutSinks, WavSinkKeepsWhatThePlayerMixed)
{
    char dir[] = "/tmp/krv_wav_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/out.wav";
    HostPcmSelect(HOST_PCM_WAV, path.c_str(), 2000);
    {
        std::unique_ptr<PAudioPlayer> p(PAudioPlayer::Open(nullptr));
        ASSERT_TRUE(p);
        std::unique_ptr<PAudioSound> s(MakeSound(2000, 128, 1, 50, 44100));
        p->Play(s.get(), 0, 0);
        ASSERT_EQ(p->Start(), 0);
        WaitDone(p.get(), s.get());
        p->Stop();
    }
    HostPcmSelect(HOST_PCM_NULL, nullptr, 0);
    WavData w;
    std::string err;
    ASSERT_TRUE(WavRead(path.c_str(), &w, &err)) << err;
    std::remove(path.c_str());
    rmdir(dir);
    EXPECT_EQ(std::make_tuple(w.rate, w.channels, w.bits), std::make_tuple(44100, 2, 16));
    ExpectSoundThenSilence(w.data, 2000, 50, 256);
}

TEST(WaveOutSinks, PacedSinksRefuseWhenFullAndCheckTheirFormat)
{
    HostPcmParams bad{12, 2, 44100, 4096};
    EXPECT_EQ(HostPcmOpenNull(bad, 100), nullptr);
    HostPcmParams p{16, 2, 44100, 4096};
    std::unique_ptr<HostPcm> n(HostPcmOpenNull(p, 100));
    ASSERT_TRUE(n);
    EXPECT_EQ(n->Status(), HOST_PCM_READY);
    std::vector<uint8_t> block(4096 * 8);
    int err = 0;
    // Four fragments of room at most: a large write is cut short.
    int w = n->Write(block.data(), int(block.size()), &err);
    EXPECT_GT(w, 0);
    EXPECT_LE(w, 4096 * 4 + 4096);
    EXPECT_EQ(err, HOST_PCM_EAGAIN);
    EXPECT_EQ(n->Status(), HOST_PCM_RUNNING);
    EXPECT_EQ(HostPcmOpenWav(p, "/nonexistent-dir/x.wav", 100, nullptr), nullptr);
}

} // namespace
