// The desktop PCM sink: an SDL2 audio device fed through its queue.
#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "host/pcm.h"

namespace {

// Standard error goes to /dev/null while it lives: the sound libraries under
// SDL print their own complaints there when the machine has no sound card,
// and the caller logs one line of its own instead.
class QuietStderr {
public:
    QuietStderr()
    {
        std::fflush(stderr);
        int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0)
            return;
        m_saved = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
        if (m_saved >= 0)
            ::dup2(null, 2);
        ::close(null);
    }
    ~QuietStderr()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int m_saved = -1;
};

class SdlSink : public HostPcm {
public:
    SdlSink(const HostPcmParams& p)
        : m_bpf(p.bits * p.channels / 8), m_rate(p.rate), m_fragment(p.fragmentBytes > 0 ? p.fragmentBytes : 4096)
    {
        m_fragment -= m_fragment % m_bpf;
        if (m_fragment < m_bpf)
            m_fragment = m_bpf;
    }

    ~SdlSink() override
    {
        if (m_dev) {
            SDL_CloseAudioDevice(m_dev);
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
    }

    bool Open(const HostPcmParams& p, const char** why)
    {
        QuietStderr quiet;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            if (why)
                *why = "SDL audio is not available";
            return false;
        }
        SDL_AudioSpec want{}, have{};
        want.freq = p.rate;
        want.format = p.bits == 16 ? AUDIO_S16LSB : AUDIO_U8;
        want.channels = Uint8(p.channels);
        int frames = m_fragment / m_bpf;
        Uint16 samples = 256;
        while (samples < 4096 && samples * 2 <= frames)
            samples = Uint16(samples * 2);
        want.samples = samples;
        want.callback = nullptr; // fed with SDL_QueueAudio
        m_dev = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (m_dev == 0) {
            if (why)
                *why = "no SDL audio device could be opened";
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        SDL_PauseAudioDevice(m_dev, 0);
        return true;
    }

    int Write(const void* data, int bytes, int* err) override
    {
        int dummy;
        if (!err)
            err = &dummy;
        *err = 0;
        if (m_state == HOST_PCM_UNDERRUN) {
            *err = HOST_PCM_EIO;
            return -1;
        }
        Uint32 queued = SDL_GetQueuedAudioSize(m_dev);
        if (m_state == HOST_PCM_RUNNING && queued == 0) {
            m_state = HOST_PCM_UNDERRUN;
            *err = HOST_PCM_EIO;
            return -1;
        }
        const Uint32 limit = Uint32(m_fragment) * 3;
        Uint32 room = queued >= limit ? 0 : limit - queued;
        int n = bytes < int(room) ? bytes : int(room);
        n -= n % m_bpf;
        if (n > 0) {
            if (SDL_QueueAudio(m_dev, data, Uint32(n)) != 0) {
                m_error = "SDL_QueueAudio failed";
                *err = HOST_PCM_EIO;
                return -1;
            }
            m_state = HOST_PCM_RUNNING;
        }
        if (n < bytes)
            *err = HOST_PCM_EAGAIN;
        return n;
    }

    int Status() override { return m_state; }
    int Prepare() override
    {
        m_state = HOST_PCM_READY;
        return 0;
    }
    int Drain() override
    {
        // Bounded by what the queue can hold, with a margin.
        Uint32 queued = SDL_GetQueuedAudioSize(m_dev);
        int limitMs = int(uint64_t(queued) * 1000 / uint64_t(m_rate * m_bpf)) + 500;
        for (int ms = 0; ms < limitMs && SDL_GetQueuedAudioSize(m_dev) > 0; ms++)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        m_state = HOST_PCM_READY;
        return 0;
    }
    int FragmentBytes() const override { return m_fragment; }
    const char* ErrorText() const override { return m_error; }

private:
    SDL_AudioDeviceID m_dev = 0;
    int m_bpf;
    int m_rate;
    int m_fragment;
    int m_state = HOST_PCM_READY;
    const char* m_error = "no error";
};

} // namespace

HostPcm* HostPcmOpenSdl(const HostPcmParams& p, const char** why)
{
    if ((p.bits != 8 && p.bits != 16) || (p.channels != 1 && p.channels != 2) || p.rate <= 0) {
        if (why)
            *why = "unsupported PCM format";
        return nullptr;
    }
    SdlSink* s = new SdlSink(p);
    if (!s)
        return nullptr;
    if (!s->Open(p, why)) {
        delete s;
        return nullptr;
    }
    return s;
}
