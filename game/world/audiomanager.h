// The game's sound service: a fixed table of clips (sample sounds and a music
// module) in two volume groups, the main output volume, and start, stop,
// pause and resume of the audio output. Screens and the game play clips by
// number (for example 11 the button click, 2 the engine of the player's
// aircraft, 5 an aircraft's explosion).
#pragma once
#include <cstdint>

#include "engine/platform/peventhandler.h"

class PAudioChannel;
class PAudioPlayer;
class PCallMonitor;

class AudioManager : public PEventHandler {
public:
    static constexpr int kClipCount = 20;
    // InitAllSounds and FreeAllSounds cover the clips below this one; the
    // last two rows of the table are spare engine sounds that are never
    // loaded.
    static constexpr int kLoadedClips = 18;
    static constexpr int kVolumeStep = 8;
    static constexpr int kMaxVolume = 256;
    static constexpr int kInitialVolume = 96;
    // Voices the player mixes at once.
    static constexpr int kMixerChannels = 6;

    enum State : int {
        STATE_STOPPED = 0,
        STATE_RUNNING = 1,
        STATE_PAUSED = 2,
    };
    enum Group : int {
        GROUP_MUSIC = 0,
        GROUP_EFFECTS = 1,
    };
    enum ClipType : int {
        CLIP_SOUND = 0,  // a PSND sample sound
        CLIP_MODULE = 1, // a PMOD music module
    };
    // The call monitor's call-state event.
    static constexpr int kCallStateEvent = 35;

    struct ClipInfo {
        int type;
        const char* path;
        int group;
        int reserved;
    };
    static const ClipInfo kClips[kClipCount];

    AudioManager();
    virtual ~AudioManager();
    AudioManager(const AudioManager&) = delete;
    AudioManager& operator=(const AudioManager&) = delete;

    // Reacts to the call monitor: a call stops the output, its end restarts it.
    int OnEvent(int event, int a, int b) override;

    // Loads the clips the game uses and starts the output; 0.
    int InitAllSounds();
    // 1 when clip i is loaded (now or before), 0 for a bad index or a file
    // that does not load.
    int Load(int i);
    void Unload(int i);
    void FreeAllSounds();

    // Plays clip i through the player; 0 for a bad index or a clip that is
    // not loaded, else 1 (also when there is no player to hear it).
    int Play(int i, unsigned flags, int loops);
    // Stops clip i and every playing copy of it.
    void Stop(int i);
    void StopAll();
    // The volume of one loaded clip; the third argument has no effect.
    void SetVolume(int i, int volume, int music);
    // Stores a group's volume and gives it to every clip of the group.
    void SetVolume(int group, int volume);
    int GetVolume(int i) const;
    void SetFrequency(int i, int hz);
    // Main volume up or down by one step; the output stops at 0.
    void SetMainVolume(int up);
    int Start();
    // Stops the output (and the call monitor).
    void Stop();
    // Focus lost and gained: the output stops and comes back.
    void PauseAll();
    int ResumeAll();

    int GetState() const { return m_state; }
    int GetMainVolume() const { return m_mainVolume; }
    bool IsLoaded(int i) const { return i >= 0 && i < kClipCount && m_clips[i]; }
    PAudioPlayer* GetPlayer() const { return m_player; }

private:
    // The platform reports a game volume of 0 when the device is muted.
    static bool DeviceMuted();
    // Sets the device to the main volume and starts the player.
    int StartOutput();

    uint8_t m_eventA = 0;
    uint8_t m_eventB = 0;
    PAudioPlayer* m_player = nullptr;
    PCallMonitor* m_callMonitor = nullptr;
    int m_state = STATE_STOPPED;
    PAudioChannel* m_clips[kClipCount] = {};
    int32_t m_groupVolume[2] = {kInitialVolume, kInitialVolume};
    int32_t m_mainVolume = kInitialVolume;
};
