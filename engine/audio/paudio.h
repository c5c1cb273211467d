// The audio engine's core: the description of sample data, the output device
// interface, the sounding channel and the player that decides which channels
// sound and mixes them on the audio thread.
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/audio/pmixer.h"
#include "engine/platform/peventhandler.h"

// The description of a block of sample data (24 bytes).
struct PAudioInfo {
    uint8_t format;     // 4 IMA ADPCM, 8 8-bit signed PCM, 16 16-bit signed PCM
    uint8_t channels;   // 1 or 2 (ADPCM always plays as mono)
    uint16_t rate;      // Hz
    uint16_t volume;    // initial volume, 256 = unity
    uint8_t priority;   // the higher survives when voices run out
    uint8_t copies;     // channels that may play this data at once; 0 = no limit
    uint32_t samples;   // length in sample frames
    uint32_t loopStart; // in sample frames
    uint32_t loopEnd;   // in sample frames
    uint32_t reserved;
};
static_assert(sizeof(PAudioInfo) == 24, "PAudioInfo is 24 bytes");

// Output settings (five 32-bit words).
struct PAudioDeviceSettings {
    uint8_t bits;     // 8 or 16
    uint8_t channels; // 1 or 2
    uint16_t pad;
    uint32_t rate;          // Hz
    uint32_t blockBytes;    // bytes mixed per block
    uint32_t bytesPerFrame; // bits x channels / 8
    uint32_t reserved;
};
static_assert(sizeof(PAudioDeviceSettings) == 20, "PAudioDeviceSettings is five words");

class PAudioDeviceMonitor;
class PAudioPlayer;

// An output device. It chooses the mixers that write its output format.
class PAudioDevice {
public:
    explicit PAudioDevice(const PAudioDeviceSettings* s);
    virtual ~PAudioDevice();
    virtual int Start() = 0;
    virtual int Stop() = 0;
    // Sets the output volume (0-256, 256 = unity); the second argument is
    // reserved. Returns the previous volume in each 16-bit half.
    virtual unsigned int SetVolume(unsigned int volume, int reserved = 0) = 0;
    virtual int GetVolume() = 0;

    void SetSettings(const PAudioDeviceSettings& s);
    const PAudioDeviceSettings& GetSettings() const { return m_settings; }
    int GetFrameShift() const { return m_frameShift; }
    // The mixer for source data of a format (4, 8, 16) and channel count;
    // null for a pair the device has no mixer for.
    PMixFunc GetMixer(int format, int channels) const;
    PAudioDeviceMonitor* SetMonitor(PAudioDeviceMonitor* m);

protected:
    PAudioDeviceSettings m_settings;
    int m_frameShift; // log2 of bytes per frame
    // 8-bit mono, 8-bit stereo, 16-bit mono, 16-bit stereo, ADPCM sources.
    PMixFunc m_mixers[5];
    PAudioDeviceMonitor* m_monitor;
};

// Channel flags.
enum : uint8_t {
    PCH_PLAYING = 1,
    PCH_PAUSED = 2,
    PCH_LOOPING = 4,
    PCH_COPY = 8,
    PCH_PREPARED = 16,
    PCH_STEREO_OUT = 32,
    PCH_HEAD = 64,
    PCH_ALWAYS_MIX = 128,
};

// Anything that sounds: a sample sound or a module player. A channel is idle,
// playing (in the player's active list) or paused (out of the list, position
// kept).
class PAudioChannel {
public:
    explicit PAudioChannel(const PAudioInfo* info);
    PAudioChannel(const PAudioChannel& src);
    PAudioChannel& operator=(const PAudioChannel&) = delete;
    virtual ~PAudioChannel();

    // Adds `frames` frames into `out`; 0 ends the channel.
    virtual int Mix(unsigned char* out, int frames) = 0;
    virtual void SetVolume2(int left, int right);
    virtual void GetVolume2(int& left, int& right) const;
    virtual void SetFrequency(int hz);
    virtual void SetPosition(unsigned int pos);
    virtual unsigned int GetPosition() const;
    virtual void Unprepare();
    virtual void Stop();
    virtual void Play(unsigned int flags);
    virtual int Prepare(const PAudioDevice& device);
    // Whether the player may play copies of this channel (sample sounds only).
    virtual int IsCopyable() const { return 0; }

    void SetVolume(int v) { SetVolume2(v, v); }
    int GetVolume() const
    {
        int l, r;
        GetVolume2(l, r);
        return (l + r) >> 1;
    }
    void SetLooping(int on, int loops);
    void SetParameters(int hz, int left, int right);
    void SetPan(int pan, bool wide, int separation, bool invert);
    void Copy(const PAudioChannel& src);

    int GetFlags() const { return m_flags; }
    int IsPlaying() const { return (m_flags & PCH_PLAYING) != 0; }
    const PAudioInfo& GetInfo() const { return m_info; }
    int GetFrequency() const { return m_frequency; }
    uint32_t GetStep() const { return m_mix.step.load(std::memory_order_relaxed); }
    uint32_t GetActiveCopies() const { return m_activeCopies; }

protected:
    // Removes this channel and its copies from the player's active list under
    // the player's lock. Every destructor of a derived channel calls it first,
    // so the audio thread never mixes a channel that is being destroyed.
    void StopForDelete();

    PMixState m_mix;
    uint32_t m_end;       // sample count, or the loop end while looping
    uint32_t m_loopStart; // where a loop resumes
    int32_t m_loops;      // loops remaining
    int32_t m_frequency;  // Hz
    uint8_t m_flags;
    uint32_t m_activeCopies; // on a source: its channels in the active list
    uint32_t m_outRate;      // output rate, from the device at Prepare
    PAudioInfo m_info;
    PAudioChannel* m_next;
    PAudioChannel* m_prev;
    PAudioChannel* m_source; // owner of the sample data
    // The player whose active list holds this channel or its copies; null
    // while none does.
    std::atomic<PAudioPlayer*> m_player;

    friend struct PAudioChannelList;
    friend class PAudioPlayer;
};

// The active channels and the free list of copies.
struct PAudioChannelList {
    PAudioChannel* head = nullptr;
    PAudioChannel* freeHead = nullptr;
    int32_t limit = 4; // voice limit
    int32_t count = 0; // active channels
    int32_t bytesPerFrame = 0;

    // Unlinks a playing channel, stops it and moves a copy to the free list.
    void Stop(PAudioChannel* ch);
    void Mix(unsigned char* out, int frames);
};

// Player flags.
enum : uint32_t {
    PPLAYER_STARTED = 1,
    PPLAYER_EVENT_STOPPED = 0x1000, // stopped by a focus or orientation event
};

// Decides which channels sound and mixes them.
class PAudioPlayer : public PEventHandler {
public:
    explicit PAudioPlayer(PAudioDevice* device);
    PAudioPlayer(const PAudioPlayer&) = delete;
    PAudioPlayer& operator=(const PAudioPlayer&) = delete;
    // Focus (4) and orientation (35) events stop and restart the output.
    int OnEvent(int event, int a, int b) override;
    virtual ~PAudioPlayer();
    virtual int Start();
    virtual int Stop();
    virtual int Pause();
    virtual int Lock();
    virtual void Unlock();

    // The platform's PCM output player (16-bit stereo 44100 Hz for null
    // settings), not started; null on failure.
    static PAudioPlayer* Open(const PAudioDeviceSettings* s);

    void SetDevice(PAudioDevice* device);
    PAudioDevice* GetDevice() const { return m_device; }
    void SetMixerChannels(int n);
    int GetMixerChannels() const { return m_list.limit; }
    int IsStarted() const { return (m_flags & PPLAYER_STARTED) != 0; }

    // Plays a channel (flags: 1 restart, 8 play a copy, 64 take the head
    // slot); returns the channel that sounds, or null.
    PAudioChannel* Play(PAudioChannel* ch, unsigned int flags, int loops);
    void Pause(PAudioChannel* ch);
    // Stops a channel and every playing copy of it.
    void Stop(PAudioChannel* ch);
    void StopAll();
    // Mixes every active channel into a block of `bytes` bytes.
    void Mix(unsigned char* out, int bytes);
    int LockChannels() { return Lock(); }
    void UnlockChannels() { Unlock(); }

    // For inspection: active count and the number of copies allocated.
    int GetActiveCount() const { return m_list.count; }
    int GetCopiesAllocated() const { return m_copies; }
    const PAudioChannel* GetHead() const { return m_list.head; }
    static const PAudioChannel* Next(const PAudioChannel* c) { return c->m_next; }

protected:
    void TrimFreeList();
    void StopLocked(PAudioChannel* ch);

    std::atomic<int> m_lockWord;
    PAudioChannelList m_list;
    PAudioDevice* m_device;
    int32_t m_bytesPerFrame;
    int32_t m_frameShift;
    uint32_t m_flags;
    int32_t m_copies; // copies allocated

    friend class PAudioChannel;
};
