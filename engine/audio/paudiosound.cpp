#include "engine/audio/paudiosound.h"

#include <cstring>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pstream.h"

namespace {

// Largest sample data block a sound may announce.
constexpr uint32_t kMaxDataBytes = 0x7FFFFFF0u;

// Reads exactly `count` bytes (at most kMaxDataBytes) unless the stream ends
// or fails.
bool ReadFully(PStream& s, void* buffer, uint32_t count)
{
    return count <= kMaxDataBytes && s.ReadFully(buffer, int(count)) == int(count);
}

unsigned Fail(const char* why)
{
    _PDebug("PSND: %s\n", why);
    return 0xFFFFFFFFu;
}

} // namespace

uint64_t PAudioDataBytes(int format, int channels, uint64_t samples)
{
    switch (format) {
    case 4:
        return (samples + 1) / 2;
    case 8:
        return samples * uint64_t(channels);
    case 16:
        return samples * uint64_t(channels) * 2;
    default:
        return 0;
    }
}

unsigned PAudioSoundHeader::Load(PStream& s, int noMagic)
{
    std::memset(this, 0, sizeof *this);
    unsigned char fixed[6];
    if (!noMagic) {
        unsigned char magic[4];
        if (!ReadFully(s, magic, 4))
            return Fail("short read");
        if (std::memcmp(magic, "PSND", 4) != 0)
            return Fail("bad magic");
    }
    if (!ReadFully(s, fixed, 6))
        return Fail("short read");
    const uint32_t size = PLoad32(fixed);
    const uint32_t hlen = PLoad16(fixed + 4);
    if (hlen < 4)
        return Fail("header length below 4");
    if (size < 2 + hlen)
        return Fail("declared size smaller than its header");

    unsigned char h[30];
    const uint32_t block = hlen < 30 ? hlen : 30;
    if (!ReadFully(s, h, block))
        return Fail("short read");
    if (hlen > 30) {
        int skip = int(hlen - 30);
        if (s.Skip(skip) != skip)
            return Fail("short read");
    }

    // Fields present per flag bit, read in order and only from the bytes of
    // the header.
    const uint32_t flags = PLoad16(h);
    uint32_t at = 4;
    bool ok = true;
    auto need = [&](uint32_t n) {
        if (at + n > block)
            ok = false;
        return ok;
    };
    info.rate = PLoad16(h + 2);
    info.channels = 1;
    info.format = 4;
    info.volume = 256;
    info.priority = 128;
    info.copies = 1;
    panning = 128;
    bool adpcmGiven = false;
    bool loopTypeGiven = false;
    if ((flags & 0x001) && need(1))
        info.channels = h[at++];
    if ((flags & 0x002) && need(1))
        info.format = h[at++];
    if ((flags & 0x004) && need(2)) {
        info.volume = PLoad16(h + at);
        at += 2;
    }
    if ((flags & 0x008) && need(8)) {
        info.loopStart = PLoad32(h + at);
        info.loopEnd = PLoad32(h + at + 4);
        at += 8;
    }
    if ((flags & 0x010) && need(1)) {
        loopType = h[at++];
        loopTypeGiven = true;
    }
    if ((flags & 0x020) && need(1))
        info.priority = h[at++];
    if ((flags & 0x040) && need(1))
        info.copies = h[at++];
    if ((flags & 0x080) && need(1)) {
        adpcm = h[at++];
        adpcmGiven = true;
    }
    if ((flags & 0x100) && need(4)) {
        info.samples = PLoad32(h + at);
        at += 4;
    }
    if ((flags & 0x200) && need(2)) {
        panning = PLoad16(h + at);
        at += 2;
    }
    if ((flags & 0x400) && need(2)) {
        relativeNote = int16_t(PLoad16(h + at));
        at += 2;
    }
    if ((flags & 0x800) && need(1))
        fineTune = int8_t(h[at++]);
    if (!ok)
        return Fail("header shorter than its fields");
    if (!loopTypeGiven)
        loopType = (flags & 0x008) ? 1 : 0;
    if (!adpcmGiven)
        adpcm = info.format == 4 ? 1 : 0;

    dataSize = size - 2 - hlen;
    headerLeft = hlen > 30 ? hlen - 30 : 0;

    if (info.format != 4 && info.format != 8 && info.format != 16)
        return Fail("unknown sample format");
    if (info.channels != 1 && info.channels != 2)
        return Fail("channel count must be 1 or 2");
    if (dataSize > kMaxDataBytes)
        return Fail("data too large");

    if (info.samples == 0) {
        uint32_t n = info.format == 4 ? dataSize * 2u : (info.format == 16 ? dataSize / 2 : dataSize);
        if (info.format == 4 && dataSize > 0x7FFFFFFFu)
            n = 0xFFFFFFFFu;
        info.samples = n / info.channels;
    }
    if (info.loopStart > info.samples || info.loopStart > info.loopEnd)
        info.loopStart = 0;
    if (info.loopEnd == 0)
        info.loopEnd = info.samples;
    else if (info.loopEnd == info.loopStart)
        info.loopEnd = info.loopStart + 1;

    if (info.samples == 0)
        return Fail("no samples");
    if (PAudioDataBytes(info.format, info.channels, info.samples) > dataSize)
        return Fail("sample count beyond the data");
    if (info.loopEnd > info.samples || info.loopStart >= info.loopEnd)
        return Fail("loop beyond the samples");
    return 0;
}

PAudioSound::PAudioSound(unsigned char* data, const PAudioInfo& info) : PAudioChannel(&info), m_mixer(nullptr)
{
    m_mix.data = data;
}

PAudioSound::PAudioSound(const PAudioSound& src) : PAudioChannel(src), m_mixer(src.m_mixer) {}

PAudioSound::~PAudioSound()
{
    StopForDelete();
}

PAudioSound* PAudioSound::Load(PStream& s)
{
    PAudioSoundHeader h;
    if (h.Load(s, 0) != 0)
        return nullptr;
    if (s.CanSeek()) {
        long here = s.Seek(0, 1);
        long size = s.Size();
        if (here >= 0 && size >= 0 && uint64_t(size - here) < h.dataSize) {
            _PDebug("PSND: data beyond the end of the stream\n");
            return nullptr;
        }
    }
    unsigned char* data = new unsigned char[h.dataSize ? h.dataSize : 1];
    if (!data)
        return nullptr;
    if (!ReadFully(s, data, h.dataSize)) {
        _PDebug("PSND: short read of the sample data\n");
        delete[] data;
        return nullptr;
    }
    PAudioSound* snd = new PAudioSound(data, h.info);
    if (!snd)
        delete[] data;
    return snd;
}

PAudioSound* PAudioSound::Load(const char* name)
{
    PFile f(name, PFile::kRead);
    if (!f.IsOpen())
        return nullptr;
    return Load(f);
}

void PAudioSound::Copy(const PAudioSound& src)
{
    PAudioChannel::Copy(src);
    m_mixer = src.m_mixer;
}

int PAudioSound::Mix(unsigned char* out, int frames)
{
    if (!m_mixer)
        return 0;
    m_mixer(&m_mix, out, frames);
    return 1;
}

void PAudioSound::Play(unsigned int flags)
{
    if (flags & 1)
        SetPosition(0);
}

int PAudioSound::Prepare(const PAudioDevice& device)
{
    if (!m_mix.data || !PAudioChannel::Prepare(device))
        return 0;
    m_mixer = device.GetMixer(m_info.format, m_info.channels);
    if (!m_mixer) {
        Unprepare();
        return 0;
    }
    return 1;
}
