// PCM sink selection and the two sinks paced by the clock: WAV file and null.
#include "host/pcm.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "engine/runtime/pdebug.h"

HostPcm::~HostPcm() = default;

namespace {

struct Selection {
    std::mutex lock;
    bool chosen = false;
    HostPcmKind kind = HOST_PCM_DEFAULT;
    std::string wavPath;
    int speed = 100;
    HostPcmFactory factory = nullptr;
    void* user = nullptr;
    bool deviceFailed = false; // the default flavour found no sound output
};

Selection& Sel()
{
    static Selection s;
    return s;
}

bool ValidParams(const HostPcmParams& p)
{
    return (p.bits == 8 || p.bits == 16) && (p.channels == 1 || p.channels == 2) && p.rate > 0 &&
           p.rate <= 384000 && p.fragmentBytes >= 0;
}

// A device that consumes frames at `speed` percent of real time and holds
// up to four fragments: writes beyond that room are refused with EAGAIN.
// When the writer falls behind, the clock is restarted rather than reporting
// an underrun, so that what is written is exactly what is kept.
class PacedSink : public HostPcm {
public:
    PacedSink(const HostPcmParams& p, int speed)
        : m_bpf(p.bits * p.channels / 8), m_rate(p.rate), m_speed(speed < 0 ? 0 : speed),
          m_fragment(p.fragmentBytes > 0 ? p.fragmentBytes : 4096)
    {
        m_fragment -= m_fragment % m_bpf;
        if (m_fragment < m_bpf)
            m_fragment = m_bpf;
        m_capacity = uint64_t(m_fragment / m_bpf) * 4;
    }

    int Write(const void* data, int bytes, int* err) override
    {
        int dummy;
        if (!err)
            err = &dummy;
        *err = 0;
        if (!data || bytes < 0) {
            *err = HOST_PCM_EINVAL;
            return -1;
        }
        uint64_t frames = uint64_t(bytes) / uint64_t(m_bpf);
        uint64_t room = Room();
        uint64_t take = frames < room ? frames : room;
        if (take > 0) {
            if (!Emit(data, int(take) * m_bpf)) {
                *err = HOST_PCM_EIO;
                return -1;
            }
            if (m_state != HOST_PCM_RUNNING) {
                m_state = HOST_PCM_RUNNING;
                m_base = Clock::now();
                m_baseFrames = m_written;
            }
            m_written += take;
        }
        int n = int(take) * m_bpf;
        if (n < bytes)
            *err = take < frames ? HOST_PCM_EAGAIN : HOST_PCM_EINVAL;
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
        if (m_speed == 0 || m_state != HOST_PCM_RUNNING)
            return 0;
        // At most the four buffered fragments are left to play.
        for (int i = 0; i < 2000 && Consumed() < m_written; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        m_state = HOST_PCM_READY;
        return 0;
    }
    int FragmentBytes() const override { return m_fragment; }
    const char* ErrorText() const override { return m_error; }

protected:
    using Clock = std::chrono::steady_clock;

    // Stores an accepted block; false on failure (m_error set).
    virtual bool Emit(const void* data, int bytes) = 0;

    uint64_t Consumed()
    {
        if (m_state != HOST_PCM_RUNNING)
            return m_written;
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - m_base).count();
        long double frames = (long double)ns * m_rate * m_speed / 100.0L / 1e9L;
        uint64_t c = m_baseFrames + uint64_t(frames);
        if (c > m_written) { // the writer fell behind: restart the clock
            m_base = Clock::now();
            m_baseFrames = m_written;
            c = m_written;
        }
        return c;
    }

    uint64_t Room()
    {
        if (m_speed == 0)
            return UINT64_MAX;
        uint64_t queued = m_written - Consumed();
        return queued >= m_capacity ? 0 : m_capacity - queued;
    }

    int m_bpf;
    int m_rate;
    int m_speed;
    int m_fragment;
    uint64_t m_capacity;
    uint64_t m_written = 0;
    uint64_t m_baseFrames = 0;
    Clock::time_point m_base{};
    int m_state = HOST_PCM_READY;
    const char* m_error = "no error";
};

class NullSink : public PacedSink {
public:
    using PacedSink::PacedSink;

protected:
    bool Emit(const void*, int) override { return true; }
};

void Put16(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(unsigned char* p, uint32_t v)
{
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

// Writes a canonical 44-byte RIFF/WAVE header for `dataBytes` of PCM.
void WavHeader(unsigned char* h, int bits, int channels, int rate, uint32_t dataBytes)
{
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);
    Put16(h + 22, uint32_t(channels));
    Put32(h + 24, uint32_t(rate));
    Put32(h + 28, uint32_t(rate * channels * bits / 8));
    Put16(h + 32, uint32_t(channels * bits / 8));
    Put16(h + 34, uint32_t(bits));
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
}

// Writes everything it accepts to a WAV file. The file is built under a
// temporary name and takes its own name when the sink closes.
class WavSink : public PacedSink {
public:
    WavSink(const HostPcmParams& p, int speed) : PacedSink(p, speed), m_bits(p.bits), m_channels(p.channels) {}

    bool Open(const char* path)
    {
        m_path = path;
        m_tmp = m_path + ".tmp";
        m_file = std::fopen(m_tmp.c_str(), "wb");
        if (!m_file)
            return false;
        unsigned char h[44];
        WavHeader(h, m_bits, m_channels, m_rate, 0);
        if (std::fwrite(h, 1, 44, m_file) != 44) {
            std::fclose(m_file);
            m_file = nullptr;
            std::remove(m_tmp.c_str());
            return false;
        }
        return true;
    }

    ~WavSink() override
    {
        if (!m_file)
            return;
        unsigned char h[44];
        WavHeader(h, m_bits, m_channels, m_rate, m_dataBytes);
        bool ok = !m_failed && std::fseek(m_file, 0, SEEK_SET) == 0 && std::fwrite(h, 1, 44, m_file) == 44;
        ok = std::fclose(m_file) == 0 && ok;
        if (!ok || std::rename(m_tmp.c_str(), m_path.c_str()) != 0) {
            std::fprintf(stderr, "PCM: could not write %s\n", m_path.c_str());
            std::remove(m_tmp.c_str());
        }
    }

protected:
    bool Emit(const void* data, int bytes) override
    {
        // A RIFF file holds at most 4 GiB; later blocks are played but not kept.
        if (uint64_t(m_dataBytes) + uint64_t(bytes) > 0xFFFFFFFFull - 64)
            return true;
        if (std::fwrite(data, 1, size_t(bytes), m_file) != size_t(bytes)) {
            m_failed = true;
            m_error = "write to the WAV file failed";
            return false;
        }
        m_dataBytes += uint32_t(bytes);
        return true;
    }

private:
    int m_bits;
    int m_channels;
    std::string m_path;
    std::string m_tmp;
    FILE* m_file = nullptr;
    uint32_t m_dataBytes = 0;
    bool m_failed = false;
};

void SelectFromEnvironment(Selection& s)
{
    s.chosen = true;
    const char* v = std::getenv("KRV_AUDIO");
    if (!v || !*v)
        return;
    if (std::strcmp(v, "sdl") == 0)
        s.kind = HOST_PCM_SDL;
    else if (std::strcmp(v, "null") == 0)
        s.kind = HOST_PCM_NULL;
    else if (std::strncmp(v, "wav:", 4) == 0 && v[4]) {
        s.kind = HOST_PCM_WAV;
        s.wavPath = v + 4;
    }
}

} // namespace

void HostPcmSelect(HostPcmKind kind, const char* wavPath, int speedPercent)
{
    Selection& s = Sel();
    std::lock_guard<std::mutex> g(s.lock);
    s.chosen = true;
    s.kind = kind;
    s.wavPath = wavPath ? wavPath : "";
    s.speed = speedPercent < 0 ? 0 : speedPercent;
    s.deviceFailed = false;
}

void HostPcmSetFactory(HostPcmFactory factory, void* user)
{
    Selection& s = Sel();
    std::lock_guard<std::mutex> g(s.lock);
    s.factory = factory;
    s.user = user;
}

HostPcm* HostPcmOpenNull(const HostPcmParams& p, int speedPercent)
{
    if (!ValidParams(p))
        return nullptr;
    return new NullSink(p, speedPercent);
}

HostPcm* HostPcmOpenWav(const HostPcmParams& p, const char* path, int speedPercent, const char** why)
{
    if (!ValidParams(p)) {
        if (why)
            *why = "unsupported PCM format";
        return nullptr;
    }
    if (!path || !*path) {
        if (why)
            *why = "no WAV file named";
        return nullptr;
    }
    WavSink* w = new WavSink(p, speedPercent);
    if (!w)
        return nullptr;
    if (!w->Open(path)) {
        if (why)
            *why = "cannot create the WAV file";
        delete w;
        return nullptr;
    }
    return w;
}

HostPcm* HostPcmOpen(const HostPcmParams& p, const char** why)
{
    Selection& s = Sel();
    HostPcmKind kind;
    std::string path;
    int speed;
    bool tryDevice;
    {
        std::lock_guard<std::mutex> g(s.lock);
        if (s.factory)
            return s.factory(p, s.user);
        if (!s.chosen)
            SelectFromEnvironment(s);
        kind = s.kind;
        path = s.wavPath;
        speed = s.speed;
        tryDevice = !s.deviceFailed;
    }
    if (why)
        *why = "unsupported PCM format";
    if (!ValidParams(p))
        return nullptr;
    switch (kind) {
    case HOST_PCM_SDL:
        return HostPcmOpenSdl(p, why);
    case HOST_PCM_WAV:
        return HostPcmOpenWav(p, path.c_str(), speed, why);
    case HOST_PCM_NULL:
        return HostPcmOpenNull(p, speed);
    default: {
        // The sound output is tried once; without one the game goes on
        // silent, and says so once.
        HostPcm* pcm = tryDevice ? HostPcmOpenSdl(p, why) : nullptr;
        if (!pcm && tryDevice) {
            {
                std::lock_guard<std::mutex> g(s.lock);
                s.deviceFailed = true;
            }
            _PDebug("host: no sound output (%s); the game runs without sound\n", why && *why ? *why : "unknown");
        }
        return pcm ? pcm : HostPcmOpenNull(p, speed);
    }
    }
}
