#include "engine/audio/paudiowaveout.h"

#include <unistd.h>

#include <cstring>

#include "engine/runtime/pdebug.h"
#include "host/pcm.h"

namespace {

// Consecutive failed writes of one block (other than "try again") before the
// rest of the block is dropped.
constexpr int kMaxWriteRetries = 16;

} // namespace

// ---------------------------------------------------------------------------
// PAudioPlayer::Open

PAudioPlayer* PAudioPlayer::Open(const PAudioDeviceSettings* s)
{
    PAudioPlayerWaveOut* player = new PAudioPlayerWaveOut();
    if (!player)
        return nullptr;
    PAudioDeviceWaveOut* device = PAudioDeviceWaveOut::Open(s, player);
    if (!device) {
        delete player;
        return nullptr;
    }
    player->SetDevice(device);
    return player;
}

// ---------------------------------------------------------------------------
// PAudioPlayerWaveOut

PAudioPlayerWaveOut::PAudioPlayerWaveOut() : PAudioPlayer(nullptr) {}

PAudioPlayerWaveOut::~PAudioPlayerWaveOut()
{
    // The thread locks this player's mutex: it stops before the mutex goes.
    if (m_device)
        m_device->Stop();
}

int PAudioPlayerWaveOut::Lock()
{
    m_mutex.lock();
    return 1;
}

void PAudioPlayerWaveOut::Unlock()
{
    m_mutex.unlock();
}

int PAudioPlayerWaveOut::Play(unsigned char* out, int bytes)
{
    Mix(out, bytes);
    return 0;
}

// ---------------------------------------------------------------------------
// PAudioDeviceWaveOut

PAudioDeviceWaveOut::PAudioDeviceWaveOut(const PAudioDeviceSettings& s, PAudioPlayerWaveOut* player)
    : PAudioDevice(&s), m_player(player), m_pcm(nullptr), m_buffer(nullptr), m_bufferSize(0), m_state(0),
      m_thread(), m_threadStarted(false), m_volume(256)
{
}

PAudioDeviceWaveOut* PAudioDeviceWaveOut::Open(const PAudioDeviceSettings* s, PAudioPlayerWaveOut* player)
{
    PAudioDeviceSettings set{};
    if (s)
        set = *s;
    if (set.bits == 0)
        set.bits = 16;
    if (set.channels == 0)
        set.channels = 2;
    if (set.rate == 0)
        set.rate = 44100;
    if ((set.bits != 8 && set.bits != 16) || (set.channels != 1 && set.channels != 2) || set.rate > 384000) {
        _PDebug("Unsupported PCM output: %d bits, %d channels, %u Hz\n", set.bits, set.channels, set.rate);
        return nullptr;
    }
    set.bytesPerFrame = uint32_t(set.bits) * set.channels / 8;
    set.blockBytes = set.channels * (uint32_t(set.bits) * set.rate * 25) / 8000;
    return new PAudioDeviceWaveOut(set, player);
}

PAudioDeviceWaveOut::~PAudioDeviceWaveOut()
{
    Stop();
    delete[] m_buffer;
}

int PAudioDeviceWaveOut::InitPcm()
{
    if (m_pcm)
        return 1;
    HostPcmParams p;
    p.bits = m_settings.bits;
    p.channels = m_settings.channels;
    p.rate = int(m_settings.rate);
    p.fragmentBytes = int(m_settings.blockBytes);
    const char* why = "unknown error";
    m_pcm = HostPcmOpen(p, &why);
    if (!m_pcm) {
        _PDebug("Error opening PCM device %s\n", why);
        return 0;
    }
    // The block is the sink's fragment, in whole frames.
    const int bpf = int(m_settings.bytesPerFrame);
    int size = m_pcm->FragmentBytes();
    size -= size % bpf;
    if (size <= 0)
        size = bpf * 256;
    if (size != m_bufferSize || !m_buffer) {
        unsigned char* buf = new unsigned char[size_t(size)];
        if (!buf) {
            delete m_pcm;
            m_pcm = nullptr;
            return 0;
        }
        delete[] m_buffer;
        m_buffer = buf;
        m_bufferSize = size;
    }
    if (m_pcm->Prepare() != 0) {
        _PDebug("snd_pcm_plugin_prepare failed: %s\n", m_pcm->ErrorText());
        delete m_pcm;
        m_pcm = nullptr;
        return 0;
    }
    return 1;
}

int PAudioDeviceWaveOut::Start()
{
    if (m_state.load() & kRunning)
        return 0;
    if (!InitPcm()) {
        _PDebug("Error initializing PCM sound plugin\n");
        return -1;
    }
    m_state.store(kRunning);
    int e = pthread_create(&m_thread, nullptr, PlaybackThread, this);
    if (e != 0) {
        _PDebug("Error creating audio thread: %s\n", std::strerror(e));
        Stop();
        return -1;
    }
    m_threadStarted = true;
    return 0;
}

int PAudioDeviceWaveOut::Stop()
{
    if (m_pcm) {
        // Only the running flag is touched before the join: the thread may be
        // waiting for the player's lock and must be able to take it.
        if (m_state.fetch_and(~kRunning) & kRunning) {
            if (m_threadStarted) {
                pthread_join(m_thread, nullptr);
                m_threadStarted = false;
            }
        }
        m_pcm->Drain();
        delete m_pcm;
        m_pcm = nullptr;
    }
    m_state.fetch_or(kStopped);
    return 0;
}

unsigned int PAudioDeviceWaveOut::SetVolume(unsigned int volume, int)
{
    int v = volume > 256 ? 256 : int(volume);
    unsigned int old = unsigned(m_volume.exchange(v));
    return old | (old << 16);
}

int PAudioDeviceWaveOut::GetVolume()
{
    unsigned int v = unsigned(m_volume.load());
    return int(v | (v << 16));
}

void* PAudioDeviceWaveOut::PlaybackThread(void* self)
{
    static_cast<PAudioDeviceWaveOut*>(self)->PlaybackLoop();
    return nullptr;
}

void PAudioDeviceWaveOut::ApplyVolume()
{
    const int v = m_volume.load(std::memory_order_relaxed);
    if (v >= 256)
        return;
    if (m_settings.bits == 16) {
        int16_t* s = reinterpret_cast<int16_t*>(m_buffer);
        for (int i = 0, n = m_bufferSize / 2; i < n; i++)
            s[i] = int16_t((s[i] * v) >> 8);
    } else {
        for (int i = 0; i < m_bufferSize; i++)
            m_buffer[i] = uint8_t((((int(m_buffer[i]) - 128) * v) >> 8) + 128);
    }
}

int PAudioDeviceWaveOut::PlaybackLoop()
{
    while (m_state.load() & kRunning) {
        m_player->Play(m_buffer, m_bufferSize);
        ApplyVolume();
        int offset = 0;
        int n = m_bufferSize;
        int failures = 0;
        while (n > 0) {
            int err = 0;
            int w = m_pcm->Write(m_buffer + offset, n, &err);
            if (w >= n)
                break;
            if (w > 0) {
                offset += w;
                n -= w;
            }
            if (!(m_state.load() & kRunning))
                break; // stopping: the rest of the block is dropped
            if (err == HOST_PCM_EAGAIN) {
                usleep(1000);
                continue;
            }
            if (err == HOST_PCM_EINVAL || err == HOST_PCM_EIO) {
                int st = m_pcm->Status();
                if (st < 0) {
                    _PDebug("snd_pcm_plugin_status failed: %s\n", m_pcm->ErrorText());
                    break;
                }
                if (st == HOST_PCM_UNDERRUN || st == HOST_PCM_READY) {
                    if (m_pcm->Prepare() != 0) {
                        _PDebug("snd_pcm_plugin_prepare failed: %s\n", m_pcm->ErrorText());
                        break;
                    }
                }
            }
            if (++failures >= kMaxWriteRetries) {
                usleep(1000); // a failing device must not spin the thread
                break;
            }
        }
    }
    return 0;
}
