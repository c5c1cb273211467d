// The game's sound service, played through the engine's PCM output into the
// WAV sink (or the null sink where nothing is listened to). Sounds are made
// with the PSND writer in a scratch directory that stands in for the data.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/audio/paudio.h"
#include "engine/runtime/ptime.h"
#include "game/world/audiomanager.h"
#include "host/pcm.h"
#include "tests/game/frontend/frontend_fixture.h"
#include "tools/lib/psndwriter.h"
#include "tools/lib/wavfile.h"

namespace {

constexpr int kRate = 44100;
constexpr double kAmplitude = 16000.0;

// Half a second of a 1 kHz sine at the output rate, as a PSND record.
std::vector<uint8_t> ToneRecord(double seconds = 0.5)
{
    const size_t n = size_t(kRate * seconds);
    std::vector<int16_t> pcm(n);
    for (size_t i = 0; i < n; i++)
        pcm[i] = int16_t(std::lround(kAmplitude * std::sin(2 * M_PI * 1000.0 * double(i) / kRate)));
    PsndFields f;
    f.rate = kRate;
    f.copies = 0;
    return PsndBuild(f, pcm.data(), pcm.size() * 2);
}

// A scratch data directory (the writable directory) for the clip files;
// output goes to the null sink (at the pace of real time, so its thread
// sleeps) unless a test selects the WAV sink.
class SoundDir : public fronttest::ScratchDir {
public:
    SoundDir() { HostPcmSelect(HOST_PCM_NULL, nullptr, 100); }
    ~SoundDir() { HostPcmSelect(HOST_PCM_NULL, nullptr, 100); }
    void Add(const char* clipPath, const std::vector<uint8_t>& bytes)
    {
        std::string rel = clipPath;
        std::replace(rel.begin(), rel.end(), '\\', '/');
        Write(rel, bytes);
    }
    // Every sample clip of the table, all the same tone.
    void AddAllSounds()
    {
        const std::vector<uint8_t> tone = ToneRecord(0.05);
        for (const auto& c : AudioManager::kClips)
            if (c.type == AudioManager::CLIP_SOUND)
                Add(c.path, tone);
    }
};

// RMS of the left channel over the frames that are not silent.
double SoundingRms(const std::string& wavPath, size_t* frames = nullptr)
{
    WavData w;
    std::string err;
    if (!WavRead(wavPath.c_str(), &w, &err))
        return -1.0;
    size_t first = w.Frames(), last = 0;
    for (size_t i = 0; i < w.Frames(); i++)
        if (w.Sample16(i, 0) != 0) {
            first = std::min(first, i);
            last = i;
        }
    double sum = 0;
    for (size_t i = first; i <= last; i++)
        sum += double(w.Sample16(i, 0)) * w.Sample16(i, 0);
    const size_t n = first <= last ? last - first + 1 : 0;
    if (frames)
        *frames = n;
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

// Waits (a guard against hangs, not a timing check) until no channel plays.
bool WaitSilent(AudioManager& am)
{
    for (int i = 0; i < 20000; i++, usleep(500)) {
        am.GetPlayer()->Lock();
        const int active = am.GetPlayer()->GetActiveCount();
        am.GetPlayer()->Unlock();
        if (!active)
            return true;
    }
    return false;
}

TEST(AudioManagerOutput, ClipLevelFollowsGroupAndMainVolume)
{
    // The level heard is the tone's times the group volume times the main
    // volume, each out of 256. Main volume steps come from SetMainVolume.
    struct Case {
        int groupVolume;
        int mainSteps; // +: up presses, -: down presses from 96
        int expectedMain;
    } cases[] = {
        {256, 0, 96},
        {128, 0, 96},
        {256, +20, 256}, // held at 256, not beyond
        {96, -4, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "group " << c.groupVolume << " steps " << c.mainSteps);
        SoundDir dir;
        dir.Add(AudioManager::kClips[11].path, ToneRecord(0.5));
        const std::string wav = dir.Full("out.wav");
        HostPcmSelect(HOST_PCM_WAV, wav.c_str(), 1000);
        {
            AudioManager am;
            ASSERT_NE(am.GetPlayer(), nullptr);
            ASSERT_EQ(am.InitAllSounds(), 0);
            ASSERT_EQ(am.GetState(), AudioManager::STATE_RUNNING);
            am.SetVolume(AudioManager::GROUP_EFFECTS, c.groupVolume);
            for (int i = 0; i < std::abs(c.mainSteps); i++)
                am.SetMainVolume(c.mainSteps > 0);
            EXPECT_EQ(am.GetMainVolume(), c.expectedMain);
            ASSERT_EQ(am.Play(11, 0, 0), 1);
            ASSERT_TRUE(WaitSilent(am));
            am.Stop();
            am.GetPlayer()->Stop();
        }
        size_t frames = 0;
        const double rms = SoundingRms(wav, &frames);
        const double expected = kAmplitude / std::sqrt(2.0) * c.groupVolume / 256.0 * c.expectedMain / 256.0;
        EXPECT_NEAR(rms, expected, expected * 0.02 + 2.0);
        EXPECT_NEAR(double(frames), kRate * 0.5, kRate * 0.01);
    }
}

class AudioManagerTest : public testing::Test {
protected:
    void SetUp() override { dir.AddAllSounds(); }
    SoundDir dir;
};

TEST_F(AudioManagerTest, MissingClipsAreSkippedWithALogLine)
{
    // Only the sample sounds exist; the music module is missing.
    testing::internal::CaptureStdout();
    AudioManager am;
    am.InitAllSounds();
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("clip 1 (data\\audio\\music\\_notused_.pmf) did not load"), std::string::npos) << log;
    EXPECT_FALSE(am.IsLoaded(1));
    EXPECT_EQ(am.Play(1, 0, 0), 0);
    EXPECT_EQ(am.GetVolume(1), 0);
    for (int i = 0; i < AudioManager::kClipCount; i++) {
        SCOPED_TRACE(i);
        // 18 and 19 are never loaded by the game's start-up.
        EXPECT_EQ(am.IsLoaded(i), i != 1 && i < AudioManager::kLoadedClips);
    }
    for (int bad : {-1, AudioManager::kClipCount}) {
        EXPECT_EQ(am.Load(bad), 0);
        EXPECT_EQ(am.Play(bad, 0, 0), 0);
    }
    // A clip the start-up skipped loads on demand with its group's volume;
    // the music volume leaves the effects alone.
    am.SetVolume(AudioManager::GROUP_MUSIC, 200);
    am.SetVolume(AudioManager::GROUP_EFFECTS, 40);
    EXPECT_EQ(am.Load(19), 1);
    EXPECT_EQ(am.GetVolume(19), 40);
    EXPECT_EQ(am.GetVolume(0), 200);
    // Unloading a playing clip takes it and its copies out of the player.
    ASSERT_EQ(am.Play(2, 0, -1), 1);
    ASSERT_EQ(am.Play(2, 8, -1), 1);
    am.FreeAllSounds();
    EXPECT_EQ(am.GetPlayer()->GetActiveCount(), 0);
}

TEST_F(AudioManagerTest, StateAndOutputFollowStartPauseResumeAndVolume)
{
    AudioManager am;
    PAudioPlayer* p = am.GetPlayer();
    // Pausing a stopped manager changes nothing and resuming does nothing.
    am.PauseAll();
    EXPECT_EQ(am.ResumeAll(), 0);
    EXPECT_EQ(am.GetState(), AudioManager::STATE_STOPPED);
    EXPECT_FALSE(p->IsStarted());

    am.InitAllSounds();
    EXPECT_EQ(p->GetMixerChannels(), AudioManager::kMixerChannels);
    am.PauseAll();
    EXPECT_EQ(am.GetState(), AudioManager::STATE_PAUSED);
    EXPECT_EQ(am.ResumeAll(), 0);
    EXPECT_EQ(am.GetState(), AudioManager::STATE_RUNNING);

    // Down to 0 in steps of 8 stops the output; a paused manager then
    // resumes without it; one step up starts it at volume 8.
    for (int i = 0; i < 13; i++)
        am.SetMainVolume(0);
    EXPECT_EQ(am.GetMainVolume(), 0);
    EXPECT_FALSE(p->IsStarted());
    am.PauseAll();
    EXPECT_EQ(am.ResumeAll(), 0);
    EXPECT_EQ(am.GetState(), AudioManager::STATE_RUNNING);
    EXPECT_FALSE(p->IsStarted());
    am.SetMainVolume(1);
    EXPECT_TRUE(p->IsStarted());
    EXPECT_EQ(p->GetDevice()->GetVolume() & 0xffff, 8);

    // Stop ends the playing clips and copies.
    ASSERT_EQ(am.Play(3, 0, -1), 1);
    ASSERT_EQ(am.Play(3, 8, -1), 1);
    EXPECT_EQ(p->GetActiveCount(), 2);
    am.Stop();
    EXPECT_EQ(am.GetState(), AudioManager::STATE_STOPPED);
    EXPECT_EQ(p->GetActiveCount(), 0);

    // Both groups silent stop the output whatever the main volume.
    am.SetVolume(AudioManager::GROUP_MUSIC, 0);
    am.SetVolume(AudioManager::GROUP_EFFECTS, 0);
    am.SetMainVolume(1);
    EXPECT_FALSE(p->IsStarted());
}

TEST_F(AudioManagerTest, CallsStopAndRestartTheRunningOutput)
{
    PSetVirtualClock(1); // the restart's settling waits return at once
    AudioManager am;
    EXPECT_EQ(am.OnEvent(AudioManager::kCallStateEvent, 1, 0), 1); // stopped: ignored
    EXPECT_FALSE(am.GetPlayer()->IsStarted());
    am.InitAllSounds();
    EXPECT_EQ(am.OnEvent(4, 0, 0), 0);
    EXPECT_EQ(am.OnEvent(AudioManager::kCallStateEvent, 1, 0), 1);
    EXPECT_FALSE(am.GetPlayer()->IsStarted());
    EXPECT_EQ(am.OnEvent(AudioManager::kCallStateEvent, 0, 0), 1);
    EXPECT_TRUE(am.GetPlayer()->IsStarted());
    PSetVirtualClock(0);
}

} // namespace
