// PCM output: the device that runs the playback thread and the player whose
// lock is a mutex shared with that thread.
#pragma once
#include <pthread.h>

#include <atomic>
#include <mutex>

#include "engine/audio/paudio.h"

class HostPcm;
class PAudioPlayerWaveOut;

class PAudioDeviceWaveOut : public PAudioDevice {
public:
    // Settings with zero fields take 16 bits, 2 channels, 44100 Hz; the block
    // is 25 ms of sound. Null for settings no mixer can write.
    static PAudioDeviceWaveOut* Open(const PAudioDeviceSettings* s, PAudioPlayerWaveOut* player);
    ~PAudioDeviceWaveOut() override;

    // Opens the PCM sink and starts the playback thread; 0, or -1 (logged).
    int Start() override;
    // Stops the thread (without holding the player's lock), drains and
    // closes the sink. 0.
    int Stop() override;
    // The output volume, 0-256, scales every mixed block.
    unsigned int SetVolume(unsigned int volume, int reserved = 0) override;
    int GetVolume() override;
    int Restart() { return 0; }

    int IsRunning() const { return (m_state.load() & kRunning) != 0; }
    // Bytes mixed and written per block (whole frames).
    int GetBufferSize() const { return m_bufferSize; }

private:
    enum { kRunning = 1, kStopped = 2 };

    PAudioDeviceWaveOut(const PAudioDeviceSettings& s, PAudioPlayerWaveOut* player);
    int InitPcm();
    static void* PlaybackThread(void* self);
    int PlaybackLoop();
    void ApplyVolume();

    PAudioPlayerWaveOut* m_player;
    HostPcm* m_pcm;
    unsigned char* m_buffer;
    int m_bufferSize;
    std::atomic<int> m_state;
    pthread_t m_thread;
    bool m_threadStarted;
    std::atomic<int> m_volume;
};

class PAudioPlayerWaveOut : public PAudioPlayer {
public:
    PAudioPlayerWaveOut();
    ~PAudioPlayerWaveOut() override;
    int Lock() override;
    void Unlock() override;

    using PAudioPlayer::Play;
    // Mixes all active channels into a block; 0.
    int Play(unsigned char* out, int bytes);

private:
    std::mutex m_mutex;
};
