#include "tools/lib/wavfile.h"

#include <cstdio>
#include <cstring>

#include "tools/lib/toolfile.h"

namespace {

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}
void PutTag(std::vector<uint8_t>& v, const char* tag)
{
    for (int i = 0; i < 4; i++)
        v.push_back(uint8_t(tag[i]));
}

} // namespace

int WavData::Sample16(size_t frame, int channel) const
{
    size_t i = frame * size_t(channels) + size_t(channel);
    if (bits == 16)
        return int16_t(Le16(&data[i * 2]));
    return (int(data[i]) - 128) << 8;
}

bool WavParse(const uint8_t* b, size_t size, WavData* out, std::string* error)
{
    auto fail = [&](const char* why) {
        if (error)
            *error = why;
        return false;
    };
    if (size < 12 || std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0)
        return fail("not a RIFF/WAVE file");
    size_t at = 12;
    bool haveFmt = false;
    while (at + 8 <= size) {
        uint32_t len = Le32(b + at + 4);
        const uint8_t* body = b + at + 8;
        size_t avail = size - at - 8;
        if (std::memcmp(b + at, "fmt ", 4) == 0) {
            if (len < 16 || avail < 16)
                return fail("short fmt chunk");
            if (Le16(body) != 1)
                return fail("not PCM");
            out->channels = Le16(body + 2);
            out->rate = int(Le32(body + 4));
            out->bits = Le16(body + 14);
            if ((out->bits != 8 && out->bits != 16) || (out->channels != 1 && out->channels != 2))
                return fail("only 8/16-bit mono or stereo PCM");
            haveFmt = true;
        } else if (std::memcmp(b + at, "data", 4) == 0) {
            if (!haveFmt)
                return fail("data before fmt");
            size_t n = len < avail ? len : avail;
            n -= n % size_t(out->bits / 8 * out->channels);
            out->data.assign(body, body + n);
            return true;
        }
        if (len > avail)
            break;
        at += 8 + len + (len & 1);
    }
    return fail("no data chunk");
}

bool WavRead(const char* path, WavData* out, std::string* error)
{
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path, &bytes, error))
        return false;
    return WavParse(bytes.data(), bytes.size(), out, error);
}

std::vector<uint8_t> WavBuild(const WavData& w)
{
    std::vector<uint8_t> v;
    uint32_t n = uint32_t(w.data.size());
    PutTag(v, "RIFF");
    PutLE32(v, 36 + n);
    PutTag(v, "WAVE");
    PutTag(v, "fmt ");
    PutLE32(v, 16);
    PutLE16(v, 1);
    PutLE16(v, uint32_t(w.channels));
    PutLE32(v, uint32_t(w.rate));
    PutLE32(v, uint32_t(w.rate * w.channels * w.bits / 8));
    PutLE16(v, uint32_t(w.channels * w.bits / 8));
    PutLE16(v, uint32_t(w.bits));
    PutTag(v, "data");
    PutLE32(v, n);
    v.insert(v.end(), w.data.begin(), w.data.end());
    return v;
}

bool WavWrite(const char* path, const WavData& wav)
{
    std::string err;
    return WriteFileAtomic(path, WavBuild(wav), &err);
}
