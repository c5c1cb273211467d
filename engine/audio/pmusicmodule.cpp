#include "engine/audio/pmusicmodule.h"

#include <cmath>
#include <cstring>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pstream.h"
#include "engine/runtime/pzstream.h"
#include "engine/audio/paudiosound.h"

namespace {

constexpr int kBufferValues = 2048;
constexpr int kMaxChannels = 64;
constexpr int kMaxRows = 256;
constexpr uint64_t kMaxPatternBytes = 32u << 20;
constexpr uint32_t kMaxSampleFrames = 64u << 20;

const uint16_t kXmPeriods[104] = {
    907, 900, 894, 887, 881, 875, 868, 862, 856, 850, 844, 838, 832, 826, 820, 814, 808, 802, 796, 791, 785,
    779, 774, 768, 762, 757, 752, 746, 741, 736, 730, 725, 720, 715, 709, 704, 699, 694, 689, 684, 678, 675,
    670, 665, 660, 655, 651, 646, 640, 636, 632, 628, 623, 619, 614, 610, 604, 601, 597, 592, 588, 584, 580,
    575, 570, 567, 563, 559, 555, 551, 547, 543, 538, 535, 532, 528, 524, 520, 516, 513, 508, 505, 502, 498,
    494, 491, 487, 484, 480, 477, 474, 470, 467, 463, 460, 457, 453, 450, 447, 443, 440, 437, 434, 431};

const uint16_t kProTrackerPeriods[72] = {
    1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 907, 856, 808, 762, 720, 678, 640,
    604,  570,  538,  508,  480,  453,  428,  404,  381,  360,  339, 320, 302, 285, 269, 254, 240, 226,
    214,  202,  190,  180,  170,  160,  151,  143,  135,  127,  120, 113, 107, 101, 95,  90,  85,  80,
    75,   71,   67,   63,   60,   56,   53,   50,   47,   45,   42,  40,  37,  35,  33,  31,  30,  28};

// Octave-0 periods for fine tunes 0..7 then -8..-1 (twice the classic
// octave-1 tuning table).
const uint16_t kProTrackerTuned[16][12] = {
    {1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 906},
    {1700, 1604, 1514, 1430, 1348, 1274, 1202, 1134, 1070, 1010, 954, 900},
    {1688, 1592, 1504, 1418, 1340, 1264, 1194, 1126, 1064, 1004, 948, 894},
    {1676, 1582, 1492, 1408, 1330, 1256, 1184, 1118, 1056, 996, 940, 888},
    {1664, 1570, 1482, 1398, 1320, 1246, 1176, 1110, 1048, 990, 934, 882},
    {1652, 1558, 1472, 1388, 1310, 1238, 1168, 1102, 1040, 982, 926, 874},
    {1640, 1548, 1460, 1378, 1302, 1228, 1160, 1094, 1032, 974, 920, 868},
    {1628, 1536, 1450, 1368, 1292, 1220, 1150, 1086, 1026, 968, 914, 862},
    {1814, 1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960},
    {1800, 1700, 1604, 1514, 1430, 1350, 1272, 1202, 1134, 1070, 1010, 954},
    {1788, 1688, 1592, 1504, 1418, 1340, 1264, 1194, 1126, 1064, 1004, 948},
    {1774, 1676, 1582, 1492, 1408, 1330, 1256, 1184, 1118, 1056, 996, 940},
    {1762, 1664, 1570, 1482, 1398, 1320, 1246, 1176, 1110, 1048, 988, 934},
    {1750, 1652, 1558, 1472, 1388, 1310, 1238, 1168, 1102, 1040, 982, 926},
    {1736, 1640, 1548, 1460, 1378, 1302, 1228, 1160, 1094, 1032, 974, 920},
    {1724, 1628, 1536, 1450, 1368, 1292, 1220, 1150, 1086, 1026, 968, 914}};

struct Tables {
    uint32_t linear[768];
    int16_t sine[64];
    int16_t xmSine[256];
    Tables()
    {
        for (int i = 0; i < 768; i++)
            linear[i] = uint32_t(std::lround(535232.0 * std::pow(2.0, -double(i) / 768.0)));
        for (int i = 0; i < 64; i++)
            sine[i] = int16_t(std::lround(127.0 * std::sin(2.0 * M_PI * i / 64.0)));
        for (int i = 0; i < 256; i++)
            xmSine[i] = int16_t(std::lround(-64.0 * std::sin(2.0 * M_PI * i / 256.0)));
    }
};

const Tables& T()
{
    static const Tables t;
    return t;
}

inline int Clamp(int v, int lo, int hi)
{
    return v < lo ? lo : (v > hi ? hi : v);
}

// Adds with saturation: the product of a clamped volume and a sample fits in
// 32 bits, so only the sum can overflow.
inline int32_t AddSat(int32_t a, int32_t b)
{
    int32_t r;
    if (__builtin_add_overflow(a, b, &r))
        r = b > 0 ? INT32_MAX : INT32_MIN;
    return r;
}

template <int Bits, int Ch>
void MixMod(PModVoice* v, int32_t* buf, int frames)
{
    const int32_t L = v->left, R = v->right;
    const int64_t step = v->step;
    int64_t acc = v->frac;
    if constexpr (Bits == 16) {
        const int16_t* d = static_cast<const int16_t*>(v->data) + v->pos;
        for (int i = 0; i < frames; i++, acc += step) {
            const int32_t s = d[acc >> 16];
            if constexpr (Ch == 1) {
                buf[i] = AddSat(buf[i], L * s);
            } else {
                buf[2 * i] = AddSat(buf[2 * i], L * s);
                buf[2 * i + 1] = AddSat(buf[2 * i + 1], R * s);
            }
        }
    } else {
        const int8_t* d = static_cast<const int8_t*>(v->data) + v->pos;
        for (int i = 0; i < frames; i++, acc += step) {
            const int32_t s = int32_t(d[acc >> 16]) * 256;
            if constexpr (Ch == 1) {
                buf[i] = AddSat(buf[i], L * s);
            } else {
                buf[2 * i] = AddSat(buf[2 * i], L * s);
                buf[2 * i + 1] = AddSat(buf[2 * i + 1], R * s);
            }
        }
    }
    const int64_t np = int64_t(v->pos) + (acc >> 16);
    v->pos = uint32_t(np);
    v->frac = uint32_t(acc & 0xFFFF);
}

bool ReadAll(PStream& s, void* dst, uint32_t n)
{
    auto* p = static_cast<unsigned char*>(dst);
    while (n > 0) {
        int got = s.Read(p, n > 0x40000000u ? 0x40000000 : int(n));
        if (got <= 0)
            return false;
        p += got;
        n -= uint32_t(got);
    }
    return true;
}

bool Read16(PStream& s, uint16_t* v)
{
    unsigned char b[2];
    if (!ReadAll(s, b, 2))
        return false;
    *v = uint16_t(b[0] | (b[1] << 8));
    return true;
}

int Refuse(const char* why)
{
    _PDebug("PMOD: %s\n", why);
    return -1;
}

} // namespace

void PMixMod_Mono8(PModVoice* v, int32_t* b, int n) { MixMod<8, 1>(v, b, n); }
void PMixMod_Mono16(PModVoice* v, int32_t* b, int n) { MixMod<16, 1>(v, b, n); }
void PMixMod_Stereo8(PModVoice* v, int32_t* b, int n) { MixMod<8, 2>(v, b, n); }
void PMixMod_Stereo16(PModVoice* v, int32_t* b, int n) { MixMod<16, 2>(v, b, n); }

// ---------------------------------------------------------------------------
// Construction, loading and release

PMusicModulePlayer::PMusicModulePlayer()
    : PAudioChannel(nullptr), m_headerFlags(0), m_initSpeed(6), m_initTempo(125), m_songLength(0), m_restart(0),
      m_patternCount(0), m_channelCount(0), m_initGlobal(256), m_sampleCount(0), m_instrumentCount(0),
      m_lowPeriod(0), m_highPeriod(0), m_orders(nullptr), m_rows(nullptr), m_patternAt(nullptr),
      m_patterns(nullptr), m_panTable(nullptr), m_samples(nullptr), m_instruments(nullptr), m_channels(nullptr),
      m_order(0), m_row(0), m_tick(0), m_speed(6), m_tempo(125), m_globalVolume(256), m_patternDelay(0),
      m_nextOrder(-1), m_nextRow(0), m_tickSamples(0), m_tickLeft(0), m_ended(true), m_buffer(nullptr),
      m_bufFrames(0), m_bufAt(0), m_rate(44100), m_outBits(16), m_outChannels(1), m_outBpf(2), m_modFlags(0),
      m_separation(128), m_adjustBPM(0), m_appliedAdjust(0)
{
    // The song keeps time even at volume 0, and never reaches a sample end.
    m_flags |= PCH_ALWAYS_MIX;
    m_info.samples = 0xFFFFFFFFu;
    m_info.loopEnd = 0xFFFFFFFFu;
    m_end = m_info.samples;
}

PMusicModulePlayer::~PMusicModulePlayer()
{
    StopForDelete();
    m_mix.data = nullptr;
    ReleaseData();
}

void PMusicModulePlayer::ReleaseData()
{
    if (m_instruments) {
        for (int i = 0; i < m_instrumentCount; i++) {
            delete m_instruments[i].volEnv;
            delete m_instruments[i].panEnv;
        }
        delete[] m_instruments;
    }
    if (m_samples) {
        for (int i = 0; i < m_sampleCount; i++)
            delete[] m_samples[i].data;
        delete[] m_samples;
    }
    delete[] m_patterns;
    delete[] m_patternAt;
    delete[] m_rows;
    delete[] m_orders;
    delete[] m_panTable;
    delete[] m_channels;
    delete[] m_buffer;
    m_instruments = nullptr;
    m_samples = nullptr;
    m_patterns = nullptr;
    m_patternAt = nullptr;
    m_rows = nullptr;
    m_orders = nullptr;
    m_panTable = nullptr;
    m_channels = nullptr;
    m_buffer = nullptr;
    m_instrumentCount = m_sampleCount = m_channelCount = m_songLength = m_patternCount = 0;
    m_ended = true;
}

PMusicModulePlayer* PMusicModulePlayer::LoadFile(const char* name)
{
    PFile f(name, PFile::kRead);
    if (!f.IsOpen())
        return nullptr;
    return LoadStream(f);
}

PMusicModulePlayer* PMusicModulePlayer::LoadStream(PStream& s)
{
    PMusicModulePlayer* p = new PMusicModulePlayer();
    if (!p)
        return nullptr;
    if (p->Load(s) != 0) {
        delete p;
        return nullptr;
    }
    return p;
}

int PMusicModulePlayer::Load(PStream& s)
{
    unsigned char h[42];
    if (!ReadAll(s, h, 42))
        return Refuse("short header");
    if (std::memcmp(h, "PMOD", 4) != 0)
        return Refuse("bad magic");
    const uint32_t fileSize = PLoad32(h + 4);
    const uint32_t hsize = PLoad32(h + 8);
    const uint32_t flags = PLoad32(h + 12);
    const int speed = h[16], tempo = h[17];
    const int songLength = PLoad16(h + 18);
    int restart = PLoad16(h + 20);
    const int patterns = PLoad16(h + 22);
    const int fixedRows = PLoad16(h + 24);
    const int channels = PLoad16(h + 26);
    const int global = PLoad16(h + 28);
    const int samples = PLoad16(h + 30);
    const int instruments = PLoad16(h + 32);
    const uint32_t lowPeriod = PLoad32(h + 34);
    const uint32_t highPeriod = PLoad32(h + 38);
    if (hsize < 30)
        return Refuse("header size below 30");
    if (fileSize < hsize || fileSize < 500)
        return Refuse("file size too small");
    if (speed == 0 || tempo == 0)
        return Refuse("speed or tempo of 0");
    if (songLength == 0 || patterns == 0 || samples == 0)
        return Refuse("no orders, patterns or samples");
    if ((flags >> 28) > 2)
        return Refuse("unknown module type");
    if (channels == 0 || channels > kMaxChannels)
        return Refuse("channel count must be 1-64");
    if (fixedRows > kMaxRows)
        return Refuse("more than 256 rows in a pattern");
    if (hsize > 30 && s.Skip(int(hsize - 30)) != int(hsize - 30))
        return Refuse("short header");

    PZStream z(&s, PZStream::kRead);
    if (!z.IsOpen())
        return Refuse("no compressed body");
    // From here on the old song is gone.
    ReleaseData();
    m_headerFlags = flags;
    m_initSpeed = speed;
    m_initTempo = tempo;
    m_songLength = songLength;
    m_restart = restart < songLength ? restart : 0;
    m_patternCount = patterns;
    m_initGlobal = global > 256 ? 256 : global;
    m_lowPeriod = lowPeriod;
    m_highPeriod = highPeriod;

    auto fail = [&](const char* why) {
        ReleaseData();
        return Refuse(why);
    };
    m_orders = new uint8_t[size_t(songLength)];
    m_rows = new uint16_t[size_t(patterns)];
    m_patternAt = new uint32_t[size_t(patterns)];
    m_panTable = new uint16_t[size_t(channels)];
    m_channels = new PModChannel[size_t(channels)];
    m_buffer = new int32_t[kBufferValues];
    if (!m_orders || !m_rows || !m_patternAt || !m_panTable || !m_channels || !m_buffer)
        return fail("out of memory");
    m_channelCount = channels;

    if (!ReadAll(z, m_orders, uint32_t(songLength)))
        return fail("short order list");
    for (int i = 0; i < songLength; i++)
        if (m_orders[i] >= patterns)
            return fail("order names a missing pattern");
    for (int i = 0; i < channels; i++) {
        if (flags & PMOD_PAN_TABLE) {
            uint16_t v;
            if (!Read16(z, &v))
                return fail("short panning table");
            m_panTable[i] = uint16_t(v > 256 ? 256 : v);
        } else {
            m_panTable[i] = (i % 4 == 0 || i % 4 == 3) ? 64 : 192;
        }
    }
    uint64_t total = 0;
    for (int i = 0; i < patterns; i++) {
        uint16_t r = uint16_t(fixedRows);
        if (fixedRows == 0 && !Read16(z, &r))
            return fail("short row table");
        if (r == 0 || r > kMaxRows)
            return fail("pattern rows must be 1-256");
        m_rows[i] = r;
        m_patternAt[i] = uint32_t(total);
        total += uint64_t(r) * uint64_t(channels) * 5;
        if (total > kMaxPatternBytes)
            return fail("pattern data too large");
    }
    m_patterns = new uint8_t[size_t(total)];
    if (!m_patterns)
        return fail("out of memory");
    if (!ReadAll(z, m_patterns, uint32_t(total)))
        return fail("short pattern data");
    for (uint64_t at = 0; at < total; at += 5) {
        uint8_t* c = m_patterns + at;
        if (c[0] > 132 && c[0] != 255)
            c[0] = 0; // not a note
        int limit = instruments > 0 ? instruments : samples;
        if (c[1] > limit)
            c[1] = 0; // names nothing
        if (c[2] > 37)
            c[2] = c[3] = 0;
    }

    m_samples = new PModSample[size_t(samples)];
    if (!m_samples)
        return fail("out of memory");
    std::memset(m_samples, 0, sizeof(PModSample) * size_t(samples));
    m_sampleCount = samples;
    for (int i = 0; i < samples; i++) {
        PAudioSoundHeader sh;
        if (sh.Load(z, 0) != 0)
            return fail("bad sample record");
        PModSample& sm = m_samples[i];
        if (sh.info.channels != 1)
            return fail("module samples must be mono");
        if (sh.info.samples > kMaxSampleFrames)
            return fail("sample too long");
        const bool adpcm = sh.adpcm == 1;
        if (adpcm != (sh.info.format == 4))
            return fail("ADPCM byte and format disagree");
        if (adpcm) {
            unsigned char* raw = new unsigned char[sh.dataSize ? sh.dataSize : 1];
            sm.data = new unsigned char[size_t(sh.info.samples) * 2 + 6];
            if (!raw || !sm.data) {
                delete[] raw;
                return fail("out of memory");
            }
            bool ok = ReadAll(z, raw, sh.dataSize);
            if (ok)
                PADPCM_DecodeBlock(raw, sh.info.samples, reinterpret_cast<int16_t*>(sm.data));
            delete[] raw;
            if (!ok)
                return fail("short sample data");
            std::memset(sm.data + size_t(sh.info.samples) * 2, 0, 6);
            sm.flags = 4;
        } else {
            const size_t guard = 3 * size_t(sh.info.format / 8);
            sm.data = new unsigned char[size_t(sh.dataSize) + guard];
            if (!sm.data)
                return fail("out of memory");
            if (!ReadAll(z, sm.data, sh.dataSize))
                return fail("short sample data");
            std::memset(sm.data + sh.dataSize, 0, guard);
            sm.flags = sh.info.format == 16 ? 4 : 0;
        }
        sm.length = sh.info.samples;
        sm.loopStart = sh.info.loopStart;
        sm.loopEnd = sh.info.loopEnd;
        if (sh.loopType == 1)
            sm.flags |= 1;
        else if (sh.loopType == 2)
            sm.flags |= 3;
        sm.fineTune = sh.fineTune;
        sm.relNote = sh.relativeNote;
        if ((flags >> 28) == 2) {
            sm.relNote = uint16_t(sh.relativeNote);
            if (sm.relNote == 0)
                sm.relNote = 8363; // a middle-C rate of 0 would divide by zero
        }
        sm.volume = uint16_t(sh.info.volume > 256 ? 256 : sh.info.volume);
        sm.panning = uint16_t(sh.panning > 256 ? 256 : sh.panning);
    }

    if (instruments > 0) {
        m_instruments = new PModInstrument[size_t(instruments)];
        if (!m_instruments)
            return fail("out of memory");
        std::memset(m_instruments, 0, sizeof(PModInstrument) * size_t(instruments));
        m_instrumentCount = instruments;
    }
    for (int i = 0; i < instruments; i++) {
        PModInstrument& in = m_instruments[i];
        unsigned char b[11];
        if (!ReadAll(z, b, 11))
            return fail("short instrument");
        in.kept = b[0];
        const int mapLen = b[1];
        in.fadeout = PLoad16(b + 2);
        in.vibType = b[4];
        in.vibSweep = b[5];
        in.vibDepth = b[6];
        in.vibRate = b[7];
        in.vibDepthStep = in.vibSweep ? (in.vibDepth * 256) / in.vibSweep : 0;
        const int envCount = b[8];
        std::memset(in.map, 255, sizeof in.map);
        unsigned char map[255];
        if (!ReadAll(z, map, uint32_t(mapLen)))
            return fail("short note map");
        for (int k = 0; k < mapLen && k < 96; k++)
            in.map[12 + k] = map[k] < samples ? map[k] : 255;
        for (int e = 0; e < envCount; e++) {
            unsigned char eb[12];
            if (!ReadAll(z, eb, 12))
                return fail("short envelope");
            const int points = eb[2];
            if (points > 24)
                return fail("envelope of more than 24 points");
            PModEnvelope env;
            std::memset(&env, 0, sizeof env);
            env.count = uint8_t(points);
            env.flags = eb[1];
            int sus = PLoad16(eb + 4), ls = PLoad16(eb + 6), le = PLoad16(eb + 8);
            if (sus >= points)
                env.flags &= uint8_t(~2);
            if (ls >= points || le >= points || ls > le)
                env.flags &= uint8_t(~1);
            env.sustain = uint8_t(sus < points ? sus : 0);
            env.loopStart = uint8_t(ls < points ? ls : 0);
            env.loopEnd = uint8_t(le < points ? le : 0);
            for (int p = 0; p < points; p++) {
                unsigned char pb[4];
                if (!ReadAll(z, pb, 4))
                    return fail("short envelope points");
                uint16_t pos = PLoad16(pb);
                if (p > 0 && pos < env.pos[p - 1])
                    pos = env.pos[p - 1]; // positions never go back
                env.pos[p] = pos;
                env.val[p] = uint16_t(PLoad16(pb + 2) > 256 ? 256 : PLoad16(pb + 2));
            }
            if (points == 0 || eb[0] > 1)
                continue;
            PModEnvelope*& slot = eb[0] == 0 ? in.volEnv : in.panEnv;
            if (slot)
                continue; // the first of each type counts
            slot = new PModEnvelope(env);
            if (!slot)
                return fail("out of memory");
        }
    }

    ChooseMixers();
    ResetChannels();
    m_speed = m_initSpeed;
    m_tempo = m_initTempo;
    m_globalVolume = m_initGlobal;
    UpdateBufferSize();
    SelectOrder(0);
    m_row = 0;
    m_tick = m_speed; // the first tick plays row 0
    m_tickLeft = 0;
    m_bufFrames = m_bufAt = 0;
    m_patternDelay = 0;
    m_nextOrder = -1;
    m_ended = false;
    return 0;
}

// ---------------------------------------------------------------------------
// Output binding and setters

void PMusicModulePlayer::ChooseMixers()
{
    const bool stereo = m_outChannels != 1;
    for (int i = 0; i < m_sampleCount; i++) {
        const bool b16 = m_samples[i].flags & 4;
        m_samples[i].mixer = stereo ? (b16 ? PMixMod_Stereo16 : PMixMod_Stereo8) : (b16 ? PMixMod_Mono16 : PMixMod_Mono8);
    }
}

int PMusicModulePlayer::Prepare(const PAudioDevice& device)
{
    const PAudioDeviceSettings& s = device.GetSettings();
    if (!PAudioChannel::Prepare(device))
        return 0;
    m_rate = s.rate;
    m_outBits = s.bits;
    m_outChannels = s.channels;
    m_outBpf = int(s.bytesPerFrame);
    if (m_outChannels != 1)
        m_modFlags.fetch_or(PMOD_STEREO | PMOD_RECOMPUTE);
    else
        m_modFlags.fetch_and(~uint32_t(PMOD_STEREO));
    m_modFlags.fetch_or(PMOD_RECOMPUTE);
    ChooseMixers();
    UpdateBufferSize();
    // Steps depend on the rate.
    for (int i = 0; i < m_channelCount; i++)
        if (m_channels[i].period > 0)
            SetStepFromPeriod(m_channels[i], m_channels[i].outPeriod > 0 ? m_channels[i].outPeriod : m_channels[i].period);
    return 1;
}

void PMusicModulePlayer::Play(unsigned int flags)
{
    if (!(flags & 1) || !m_orders)
        return;
    ResetChannels();
    m_speed = m_initSpeed;
    m_tempo = m_initTempo;
    UpdateBufferSize();
    SelectOrder(0);
    m_row = 0;
    m_globalVolume = m_initGlobal;
    m_tick = m_speed;
    m_tickLeft = 0;
    m_bufFrames = m_bufAt = 0;
    m_patternDelay = 0;
    m_nextOrder = -1;
    m_ended = false;
}

void PMusicModulePlayer::Stop()
{
    PAudioChannel::Stop();
}

void PMusicModulePlayer::SetPosition(unsigned int pos)
{
    if (!m_orders)
        return;
    int order = int(pos >> 8);
    if (order >= m_songLength)
        order = m_songLength - 1;
    SelectOrder(order);
    int row = int(pos & 255);
    int rows = m_rows[m_orders[m_order]];
    m_row = row < rows ? row : rows - 1;
    m_tick = m_speed;
    m_tickLeft = 0;
    m_nextOrder = -1;
    m_ended = false;
}

unsigned int PMusicModulePlayer::GetPosition() const
{
    return (unsigned(m_order) << 8) | unsigned(m_row & 255);
}

void PMusicModulePlayer::SetVolume2(int left, int right)
{
    PAudioChannel::SetVolume2(Clamp(left, 0, 256), Clamp(right, 0, 256));
    m_modFlags.fetch_or(PMOD_RECOMPUTE);
}

void PMusicModulePlayer::SetStereoSeparation(int s)
{
    s = Clamp(s, 0, 256);
    if (m_separation.exchange(s) != s)
        m_modFlags.fetch_or(PMOD_RECOMPUTE);
}

void PMusicModulePlayer::SetDolbySurround(int on)
{
    uint32_t old = on ? m_modFlags.fetch_or(PMOD_SURROUND) : m_modFlags.fetch_and(~uint32_t(PMOD_SURROUND));
    if (bool(old & PMOD_SURROUND) != bool(on))
        m_modFlags.fetch_or(PMOD_RECOMPUTE);
}

void PMusicModulePlayer::SetAdjustBPM(int adjust)
{
    m_adjustBPM.store(adjust);
}

void PMusicModulePlayer::UpdateBufferSize()
{
    m_appliedAdjust = m_adjustBPM.load(std::memory_order_relaxed);
    const int bpm = m_tempo + m_appliedAdjust;
    m_tickSamples = bpm < 1 ? int(m_rate * 640 / 256) : int((uint64_t(m_rate) * 640) / (uint64_t(bpm) * 256));
    if (m_tickSamples < 1)
        m_tickSamples = 1;
}

void PMusicModulePlayer::ResetChannels()
{
    for (int i = 0; i < m_channelCount; i++) {
        PModChannel& c = m_channels[i];
        std::memset(&c, 0, sizeof c);
        c.sample = -1;
        c.instrument = -1;
        c.pan = m_panTable[i];
        c.fade = 65536;
        c.volEnvVal = 256;
        c.panEnvVal = 128;
        c.flags = PMC_RECOMPUTE;
    }
}

void PMusicModulePlayer::SelectOrder(int order)
{
    m_order = order;
}

// ---------------------------------------------------------------------------
// Mixing

int PMusicModulePlayer::Mix(unsigned char* out, int frames)
{
    if (!m_buffer || !m_channels)
        return 0;
    if (m_adjustBPM.load(std::memory_order_relaxed) != m_appliedAdjust)
        UpdateBufferSize();
    const bool stereo = m_outChannels != 1;
    while (frames > 0) {
        if (m_bufAt >= m_bufFrames) {
            m_bufFrames = Refill();
            m_bufAt = 0;
            if (m_bufFrames <= 0)
                return 0;
        }
        int n = m_bufFrames - m_bufAt;
        if (n > frames)
            n = frames;
        const int32_t* src = m_buffer + size_t(m_bufAt) * (stereo ? 2 : 1);
        const int values = n * (stereo ? 2 : 1);
        if (m_outBits == 16) {
            int16_t* o = reinterpret_cast<int16_t*>(out);
            for (int i = 0; i < values; i++)
                o[i] = int16_t(Clamp(o[i] + (src[i] >> 12), -32768, 32767));
        } else {
            for (int i = 0; i < values; i++)
                out[i] = PMix8(out[i] + 128 + (src[i] >> 20));
        }
        out += size_t(n) * size_t(m_outBpf);
        frames -= n;
        m_bufAt += n;
    }
    return 1;
}

int PMusicModulePlayer::Refill()
{
    if (m_ended || m_order >= m_songLength)
        return 0;
    const bool stereo = m_outChannels != 1;
    const int room = stereo ? kBufferValues / 2 : kBufferValues;
    std::memset(m_buffer, 0, sizeof(int32_t) * kBufferValues);
    int filled = 0;
    while (filled < room) {
        if (m_tickLeft <= 0) {
            if (!PlayTick()) {
                m_ended = true;
                break;
            }
        }
        int n = room - filled;
        if (n > m_tickLeft)
            n = m_tickLeft;
        MixChannels(m_buffer + size_t(filled) * (stereo ? 2 : 1), n);
        filled += n;
        m_tickLeft -= n;
    }
    return filled;
}

void PMusicModulePlayer::MixChannels(int32_t* buf, int frames)
{
    const bool stereo = m_outChannels != 1;
    const bool all = (m_modFlags.load(std::memory_order_relaxed) & PMOD_RECOMPUTE) != 0;
    if (all)
        m_modFlags.fetch_and(~uint32_t(PMOD_RECOMPUTE));
    for (int ci = m_channelCount - 1; ci >= 0; ci--) {
        PModChannel& c = m_channels[ci];
        if (!(c.flags & PMC_ACTIVE) || c.sample < 0)
            continue;
        if (all || (c.flags & PMC_RECOMPUTE))
            UpdateChannelVolume(c);
        const PModSample& sm = m_samples[c.sample];
        const bool loop = sm.flags & 1, pingpong = (sm.flags & 2) != 0;
        int32_t* o = buf;
        int n = frames;
        while (n > 0 && (c.flags & PMC_ACTIVE)) {
            const uint32_t end = loop ? sm.loopEnd : sm.length;
            int count = n;
            if (c.step >= 0) {
                if (c.pos >= end) {
                    if (!loop) {
                        c.flags &= ~uint32_t(PMC_ACTIVE);
                        break;
                    }
                    if (pingpong) {
                        c.step = -c.step;
                        c.pos = end - 1;
                        c.frac = 0xFFFF;
                        continue;
                    }
                    const uint32_t len = sm.loopEnd - sm.loopStart;
                    c.pos = sm.loopStart + (c.pos - sm.loopEnd) % len;
                    continue;
                }
                if (c.step > 0) {
                    int64_t last = int64_t(c.pos) + ((int64_t(c.frac) + c.step * int64_t(n - 1)) >> 16);
                    if (last >= int64_t(end)) {
                        int64_t k = ((((int64_t(end) - c.pos) << 16) - c.frac - 1) / c.step) + 1;
                        count = int(k < 1 ? 1 : (k < n ? k : n));
                    }
                }
            } else {
                // Running backwards through a ping-pong loop.
                if (int64_t(c.pos) < int64_t(sm.loopStart) || c.pos >= end) {
                    c.step = -c.step;
                    c.pos = sm.loopStart;
                    c.frac = 0;
                    continue;
                }
                int64_t last = int64_t(c.pos) + ((int64_t(c.frac) + c.step * int64_t(n - 1)) >> 16);
                if (last < int64_t(sm.loopStart)) {
                    int64_t k = ((int64_t(c.frac) + ((int64_t(c.pos) - sm.loopStart) << 16)) / -c.step) + 1;
                    count = int(k < 1 ? 1 : (k < n ? k : n));
                }
            }
            PModVoice v{sm.data, c.pos, c.frac, c.step, c.left, c.right};
            if (c.left == 0 && c.right == 0) {
                int64_t acc = int64_t(c.frac) + c.step * int64_t(count);
                v.pos = uint32_t(int64_t(c.pos) + (acc >> 16));
                v.frac = uint32_t(acc & 0xFFFF);
            } else {
                sm.mixer(&v, o, count);
            }
            // A position that runs below 0 going backwards wraps as unsigned;
            // the next pass sees it beyond the end and turns forwards.
            c.pos = v.pos;
            c.frac = v.frac;
            o += size_t(count) * (stereo ? 2 : 1);
            n -= count;
        }
    }
}

void PMusicModulePlayer::UpdateChannelVolume(PModChannel& c)
{
    c.flags &= ~uint32_t(PMC_RECOMPUTE);
    int64_t v = int64_t(Clamp(c.volume, 0, 256)) << 8;
    if (c.flags & PMC_VOLENV)
        v = (v * c.volEnvVal) >> 8;
    if (c.flags & PMC_FADING)
        v = (int64_t(c.fade) * v) >> 16;
    const int master = Clamp(m_mix.left.load(std::memory_order_relaxed), 0, 256);
    const int64_t g = (int64_t(Clamp(m_globalVolume, 0, 256)) * master) >> 8;
    const int64_t t = g * v;
    const uint32_t mf = m_modFlags.load(std::memory_order_relaxed);
    if (m_outChannels != 1) {
        int pan = c.pan;
        if (c.flags & PMC_PANENV)
            pan = Clamp(pan + ((c.panEnvVal - 128) * (128 - (pan > 128 ? pan - 128 : 128 - pan))) / 128, 0, 256);
        const int sep = m_separation.load(std::memory_order_relaxed);
        const int64_t p = Clamp(int((sep * (pan - 128)) / 128 + 128), 0, 256);
        int64_t l = ((256 - p) * (t >> 8)) >> 12;
        int64_t r = (p * (t >> 8)) >> 12;
        if (mf & PMOD_SURROUND)
            l = -l;
        c.left = Clamp(int(l), -32768, 32767);
        c.right = Clamp(int(r), -32768, 32767);
    } else {
        c.left = c.right = Clamp(int(t >> 12), -32768, 32767);
    }
}

// ---------------------------------------------------------------------------
// Song position and ticks

int PMusicModulePlayer::PlayTick()
{
    if (++m_tick < m_speed) {
        UpdateEffect();
        m_tickLeft = m_tickSamples;
        return 1;
    }
    m_tick = 0;
    const int rows = m_rows[m_orders[m_order]];
    if (m_row >= rows) {
        if (m_nextOrder >= 0) {
            m_order = m_nextOrder;
            m_row = m_nextRow;
            m_nextOrder = -1;
        } else {
            m_order++;
            m_row = 0;
        }
        if (m_order >= m_songLength) {
            if (!(m_flags & PCH_LOOPING) || --m_loops == 0)
                return 0;
            m_order = m_restart;
            m_row = 0;
            m_globalVolume = m_initGlobal;
            m_modFlags.fetch_or(PMOD_RECOMPUTE);
        }
        SelectOrder(m_order);
        if (m_row >= m_rows[m_orders[m_order]])
            m_row = 0;
    }
    if (m_patternDelay > 0) {
        m_patternDelay--;
        m_tickLeft = m_tickSamples;
        return 1;
    }
    UpdateNote();
    m_tickLeft = m_tickSamples;
    if (m_speed == 0)
        return 0; // the song stops; the player's list takes the channel out
    if (m_nextOrder >= 0)
        m_row = m_rows[m_orders[m_order]]; // advance at the next row tick
    else
        m_row++;
    return 1;
}

void PMusicModulePlayer::UpdateNote()
{
    const uint8_t* row = m_patterns + m_patternAt[m_orders[m_order]] + size_t(m_row) * size_t(m_channelCount) * 5;
    int jump = -1, brk = -1;
    for (int ci = 0; ci < m_channelCount; ci++) {
        PModChannel& c = m_channels[ci];
        const uint8_t* cell = row + ci * 5;
        c.effect = cell[2];
        c.param = cell[3];
        c.volcol = cell[4];
        c.cutTick = -1;
        c.delayTick = -1;
        if (c.effect == 24 && (c.param & 15) != 0) {
            c.delayTick = c.param & 15;
            std::memcpy(c.delayed, cell, 5);
        } else {
            CellTick0(c, cell);
        }
        if (c.effect == 10)
            jump = c.param;
        else if (c.effect == 12)
            brk = (c.param >> 4) * 10 + (c.param & 15);
        else if (c.effect == 13) {
            if (c.param > 31)
                m_tempo = c.param, UpdateBufferSize();
            else
                m_speed = c.param;
        }
    }
    if (jump >= 0 || brk >= 0) {
        int order;
        if (jump >= 0)
            order = jump < m_songLength ? jump : 0;
        else
            order = m_order + 1 < m_songLength ? m_order + 1 : 0;
        int r = brk >= 0 ? brk : 0;
        if (r >= m_rows[m_orders[order]])
            r = 0;
        m_nextOrder = order;
        m_nextRow = r;
    }
}

void PMusicModulePlayer::UpdateEffect()
{
    for (int ci = 0; ci < m_channelCount; ci++) {
        PModChannel& c = m_channels[ci];
        if (c.delayTick == m_tick) {
            CellTick0(c, c.delayed);
            c.delayTick = -1;
            continue;
        }
        ChannelTick(c);
    }
}

int32_t PMusicModulePlayer::NotePeriod(const PModChannel& c, int note) const
{
    const PModSample* sm = c.sample >= 0 ? &m_samples[c.sample] : nullptr;
    const int type = GetType();
    int f = sm ? sm->fineTune : 0;
    int n = note;
    if (type != 2 && sm)
        n += sm->relNote;
    n = Clamp(n, 1, 132);
    if (type == 1 && (m_headerFlags & PMOD_LINEAR)) {
        int p = (n < 13 ? 7680 : (133 - n) * 64) - f / 2;
        return p < 1 ? 1 : p;
    }
    if (type == 1) {
        int o = n < 13 ? 0 : (n - 13) / 12;
        int s = n < 13 ? 0 : (n - 13) % 12;
        int a = Clamp(8 + 8 * s + f / 16, 0, 103);
        int b = Clamp(f >= 0 ? a + 1 : a - 1, 0, 103);
        int r = (f < 0 ? -f : f) % 16;
        return ((kXmPeriods[a] * (16 - r) + kXmPeriods[b] * r) * 2) >> o;
    }
    if (type == 2) {
        uint32_t c2 = sm ? uint32_t(sm->relNote) : 8363;
        if (c2 == 0)
            c2 = 8363;
        uint64_t den = uint64_t(c2) << ((n - 1) / 12);
        int64_t p = int64_t(uint64_t(kProTrackerPeriods[(n - 1) % 12]) * 267616 / den);
        return int32_t(p < 1 ? 1 : p);
    }
    if (n >= 37 && n <= 108 && (f & 15) == 0)
        return kProTrackerPeriods[n - 37] * 4;
    return (kProTrackerTuned[(f & 15)][(n - 1) % 12] * 32) >> ((n - 1) / 12);
}

void PMusicModulePlayer::SetStepFromPeriod(PModChannel& c, int32_t period)
{
    period += c.ivOffset;
    if (period < 1)
        period = 1; // a period of 0 or less never divides
    c.outPeriod = period;
    uint64_t freq;
    if (GetType() == 1 && (m_headerFlags & PMOD_LINEAR))
        freq = period / 768 >= 32 ? 0 : T().linear[period % 768] >> (period / 768);
    else
        freq = 14317456u / uint32_t(period);
    uint64_t step = m_rate ? (freq << 16) / m_rate : 0;
    if (step > 0xFF0000)
        step = 0xFF0000;
    step = (step + 1) & ~uint64_t(3);
    c.step = c.step < 0 ? -int64_t(step) : int64_t(step);
}

// Every effect that moves the period keeps it within the header's range
// (a bound of 0 is no bound) and never at 0 or below.
void PMusicModulePlayer::ClampPeriod(PModChannel& c)
{
    if (m_lowPeriod && c.period < int32_t(m_lowPeriod))
        c.period = int32_t(m_lowPeriod);
    if (m_highPeriod && m_highPeriod < 0x7FFFFFFF && c.period > int32_t(m_highPeriod))
        c.period = int32_t(m_highPeriod);
    if (c.period < 1)
        c.period = 1;
}

void PMusicModulePlayer::TriggerNote(PModChannel& c, int note, bool restart)
{
    c.note = note;
    if (c.sample < 0)
        return;
    c.period = NotePeriod(c, note);
    if (!restart)
        return;
    c.step = 0;
    SetStepFromPeriod(c, c.period);
    const PModSample& sm = m_samples[c.sample];
    uint32_t start = c.effect == 8 ? uint32_t(c.offset) * 256 : 0;
    c.pos = start < sm.length ? start : sm.length;
    c.frac = 0;
    c.flags |= PMC_ACTIVE;
    c.flags &= ~uint32_t(PMC_RELEASED | PMC_FADING | PMC_SUSTAINED);
    c.vibPos = 0;
    c.tremPos = 0;
    c.flags |= PMC_RECOMPUTE;
}

void PMusicModulePlayer::KeyOff(PModChannel& c)
{
    c.flags |= PMC_RELEASED;
    if (m_instrumentCount == 0 || c.instrument < 0) {
        c.flags &= ~uint32_t(PMC_ACTIVE);
        return;
    }
    const PModInstrument& in = m_instruments[c.instrument];
    if (!in.volEnv || ((in.volEnv->flags & 1) && in.fadeout))
        c.flags |= PMC_FADING;
    c.flags |= PMC_RECOMPUTE;
}

void PMusicModulePlayer::CellTick0(PModChannel& c, const uint8_t* cell)
{
    const int note = cell[0], ins = cell[1], vc = cell[4];
    const int eff = c.effect, prm = c.param;
    const bool porta = eff == 3 || eff == 5 || (vc >> 4) == 15;

    // Effect memories that the tick-0 work needs first.
    if (eff == 8 && prm)
        c.offset = prm;

    if (ins > 0) {
        if (m_instrumentCount > 0) {
            c.instrument = ins - 1;
            const PModInstrument& in = m_instruments[c.instrument];
            int n = note >= 1 && note <= 128 ? note : c.note;
            int smp = n >= 1 && n <= 128 ? in.map[n - 1] : 255;
            if (smp != 255 && !porta)
                c.sample = smp;
            c.flags &= ~uint32_t(PMC_VOLENV | PMC_PANENV | PMC_INSTVIB);
            if (in.volEnv)
                c.flags |= PMC_VOLENV;
            if (in.panEnv)
                c.flags |= PMC_PANENV;
            if (in.vibDepth)
                c.flags |= PMC_INSTVIB;
            c.volEnvPos = c.panEnvPos = 0;
            c.volEnvVal = in.volEnv ? in.volEnv->val[0] : 256;
            c.panEnvVal = in.panEnv ? in.panEnv->val[0] : 128;
            c.fade = 65536;
            c.ivPos = 0;
            c.ivDepth = in.vibSweep ? 0 : in.vibDepth * 256;
            c.flags &= ~uint32_t(PMC_FADING | PMC_RELEASED | PMC_SUSTAINED);
        } else if (!porta || c.sample < 0) {
            c.sample = ins - 1;
        }
        if (c.sample >= 0) {
            c.volume = c.noteVolume = m_samples[c.sample].volume;
            if (GetType() == 1)
                c.pan = m_samples[c.sample].panning;
        }
        c.flags |= PMC_RECOMPUTE;
    }

    if (note == 255) {
        KeyOff(c);
    } else if (note >= 1 && note <= 132) {
        if (porta && (c.flags & PMC_ACTIVE)) {
            // Tone portamento: the new note becomes the target only.
            const int32_t p = c.period;
            TriggerNote(c, note, false);
            c.target = c.period;
            c.period = p;
        } else {
            if (m_instrumentCount > 0 && c.instrument >= 0 && ins == 0) {
                int smp = note <= 128 ? m_instruments[c.instrument].map[note - 1] : 255;
                if (smp != 255)
                    c.sample = smp;
            }
            TriggerNote(c, note, true);
            c.target = c.period;
        }
    }

    // Volume column.
    const int vcmd = vc >> 4, v = vc & 15;
    if (vcmd >= 1 && vcmd <= 5) {
        c.volume = c.noteVolume = Clamp((vc - 16) * 4, 0, 256);
        c.flags |= PMC_RECOMPUTE;
    } else if (vcmd == 8 || vcmd == 9) {
        c.volume = c.noteVolume = Clamp(c.volume + (vcmd == 9 ? v : -v), 0, 256);
        c.flags |= PMC_RECOMPUTE;
    } else if (vcmd == 10) {
        if (v)
            c.vibSpeed = v;
    } else if (vcmd == 11) {
        if (v)
            c.vibDepth = v * 4;
    } else if (vcmd == 12) {
        c.pan = Clamp(v << 4, 0, 256);
        c.flags |= PMC_RECOMPUTE;
    } else if (vcmd == 15 && v) {
        c.tonePorta = v << 4;
    }

    // Effects on tick 0.
    const int x = prm >> 4, y = prm & 15;
    switch (eff) {
    case 1:
        if (prm)
            c.portaUp = prm;
        break;
    case 2:
        if (prm)
            c.portaDown = prm;
        break;
    case 3:
        if (prm)
            c.tonePorta = prm;
        break;
    case 4:
        if (x)
            c.vibSpeed = x;
        if (y)
            c.vibDepth = y * 4;
        break;
    case 5:
    case 6:
    case 9:
        if (prm || GetType() == 0)
            c.volSlide = prm;
        if (m_headerFlags & PMOD_SLIDE_TICK0)
            VolumeSlide(c, c.volSlide);
        break;
    case 7:
        if (x)
            c.tremSpeed = x;
        if (y)
            c.tremDepth = y;
        break;
    case 11:
        c.volume = c.noteVolume = prm * 4 > 256 ? 256 : prm * 4;
        c.flags |= PMC_RECOMPUTE;
        break;
    case 14:
        c.period -= 4 * y;
        ClampPeriod(c);
        SetStepFromPeriod(c, c.period);
        break;
    case 15:
        c.period += 4 * y;
        ClampPeriod(c);
        SetStepFromPeriod(c, c.period);
        break;
    case 16:
        c.vibWave = y;
        break;
    case 17:
        if (c.sample >= 0)
            m_samples[c.sample].fineTune = int8_t(y);
        break;
    case 19:
        c.tremWave = y << 4;
        break;
    case 20:
        c.retrig = y;
        break;
    case 21:
        c.volume = c.noteVolume = Clamp(c.volume + 4 * y, 0, 256);
        c.flags |= PMC_RECOMPUTE;
        break;
    case 22:
        c.volume = c.noteVolume = Clamp(c.volume - 4 * y, 0, 256);
        c.flags |= PMC_RECOMPUTE;
        break;
    case 23:
        c.cutTick = y;
        if (y == 0) {
            c.volume = 0;
            c.flags |= PMC_RECOMPUTE;
        }
        break;
    case 25:
        m_patternDelay = y;
        break;
    case 26:
        c.pan = Clamp((x - y) * 4, 0, 256);
        c.flags |= PMC_RECOMPUTE;
        break;
    case 27:
        m_globalVolume = prm * 4 > 256 ? 256 : prm * 4;
        m_modFlags.fetch_or(PMOD_RECOMPUTE);
        break;
    case 28:
        if (prm)
            c.globalSlide = prm;
        break;
    case 29:
        c.volEnvPos = c.panEnvPos = prm;
        break;
    case 30:
        if (prm)
            c.panSlide = prm;
        break;
    case 36:
    case 37: {
        int& mem = eff == 36 ? c.porta36 : c.porta37;
        if (prm)
            mem = prm;
        c.period += eff == 36 ? -4 * mem : 4 * mem;
        ClampPeriod(c);
        SetStepFromPeriod(c, c.period);
        break;
    }
    default:
        break;
    }
    if (c.flags & PMC_ACTIVE) {
        Envelopes(c);
        SetStepFromPeriod(c, c.period); // an arpeggio plays its base note on tick 0
    }
}

void PMusicModulePlayer::VolumeSlide(PModChannel& c, int param)
{
    const int x = param >> 4, y = param & 15;
    c.volume = c.noteVolume = Clamp(c.volume + (x - y) * 4, 0, 256);
    c.flags |= PMC_RECOMPUTE;
}

void PMusicModulePlayer::TonePorta(PModChannel& c)
{
    const int speed = 4 * c.tonePorta;
    if (c.period < c.target) {
        c.period += speed;
        if (c.period > c.target)
            c.period = c.target;
    } else if (c.period > c.target) {
        c.period -= speed;
        if (c.period < c.target)
            c.period = c.target;
    }
    ClampPeriod(c);
}

void PMusicModulePlayer::Vibrato(PModChannel& c)
{
    int wave;
    const int p = c.vibPos & 63;
    switch (c.vibWave & 3) {
    case 1:
        wave = p < 32 ? -4 * p : 127 - 4 * (p - 32);
        break;
    case 2:
        wave = p < 32 ? 127 : -127;
        break;
    default:
        wave = T().sine[p];
        break;
    }
    SetStepFromPeriod(c, c.period + ((c.vibDepth * wave) >> 6));
    c.vibPos = (c.vibPos + c.vibSpeed) & 63;
}

void PMusicModulePlayer::Tremolo(PModChannel& c)
{
    int pos = c.tremPos;
    int p = pos & 63;
    int wave;
    switch ((c.tremWave >> 4) & 3) {
    case 1:
        wave = (p & 63) * 8;
        if (pos < 0)
            wave = 255 - wave;
        break;
    case 2:
        wave = 255;
        break;
    default:
        wave = T().sine[p] < 0 ? -T().sine[p] : T().sine[p];
        break;
    }
    const int delta = (c.tremDepth * wave) >> 4;
    if (pos < 0)
        c.volume = c.noteVolume - delta < 0 ? 0 : c.noteVolume - delta;
    else
        c.volume = c.noteVolume + delta > 256 ? 256 : c.noteVolume + delta;
    c.flags |= PMC_RECOMPUTE;
    c.tremPos += c.tremSpeed;
    if (c.tremPos > 31)
        c.tremPos -= 64;
}

void PMusicModulePlayer::ChannelTick(PModChannel& c)
{
    const int eff = c.effect, prm = c.param;
    const int x = prm >> 4, y = prm & 15;
    bool stepSet = false;
    switch (eff) {
    case 0:
        if (prm) {
            const int add = m_tick % 3 == 0 ? 0 : (m_tick % 3 == 1 ? x : y);
            SetStepFromPeriod(c, NotePeriod(c, c.note + add));
            stepSet = true;
        }
        break;
    case 1:
        c.period -= 4 * c.portaUp;
        ClampPeriod(c);
        break;
    case 2:
        c.period += 4 * c.portaDown;
        ClampPeriod(c);
        break;
    case 3:
        TonePorta(c);
        break;
    case 4:
        Vibrato(c);
        stepSet = true;
        break;
    case 5:
        TonePorta(c);
        VolumeSlide(c, c.volSlide);
        break;
    case 6:
        Vibrato(c);
        stepSet = true;
        VolumeSlide(c, c.volSlide);
        break;
    case 7:
        Tremolo(c);
        break;
    case 9:
        VolumeSlide(c, c.volSlide);
        break;
    case 20:
        if (c.retrig > 0 && m_tick % c.retrig == 0 && c.sample >= 0) { // never a modulo by zero
            c.pos = 0;
            c.frac = 0;
            if (c.step < 0)
                c.step = -c.step;
            c.flags |= PMC_ACTIVE;
        }
        break;
    case 23:
        if (m_tick == c.cutTick) {
            c.volume = 0;
            c.flags |= PMC_RECOMPUTE;
        }
        break;
    case 28: {
        const int gx = c.globalSlide >> 4, gy = c.globalSlide & 15;
        m_globalVolume = Clamp(m_globalVolume + (gx - gy) * 4, 0, 256);
        m_modFlags.fetch_or(PMOD_RECOMPUTE);
        break;
    }
    case 30: {
        const int px = c.panSlide >> 4, py = c.panSlide & 15;
        c.pan = Clamp(c.pan + (px - py) * 4, 0, 256);
        c.flags |= PMC_RECOMPUTE;
        break;
    }
    case 36:
    case 37: {
        const int mem = eff == 36 ? c.porta36 : c.porta37;
        const int hi = mem >> 4;
        const int by = hi == 0xF ? 4 * (mem & 15) : (hi == 0xE ? (mem & 15) : 4 * mem);
        c.period += eff == 36 ? -by : by;
        ClampPeriod(c);
        break;
    }
    default:
        break;
    }
    // Volume column, later ticks.
    const int vcmd = c.volcol >> 4, v = c.volcol & 15;
    if (vcmd == 6 || vcmd == 7) {
        c.volume = c.noteVolume = Clamp(c.volume + (vcmd == 7 ? 4 * v : -4 * v), 0, 256);
        c.flags |= PMC_RECOMPUTE;
    } else if (vcmd == 10 || vcmd == 11) {
        Vibrato(c);
        stepSet = true;
    } else if (vcmd == 13 || vcmd == 14) {
        c.pan = Clamp(c.pan + (vcmd == 14 ? 4 * v : -4 * v), 0, 256);
        c.flags |= PMC_RECOMPUTE;
    } else if (vcmd == 15) {
        TonePorta(c);
    }
    if (!(c.flags & PMC_ACTIVE))
        return;
    Envelopes(c);
    if (!stepSet)
        SetStepFromPeriod(c, c.period);
}

void PMusicModulePlayer::Envelopes(PModChannel& c)
{
    if (c.instrument < 0 || m_instrumentCount == 0)
        return;
    const PModInstrument& in = m_instruments[c.instrument];
    auto run = [&](const PModEnvelope* e, int& pos, int& val) {
        if (!e || e->count == 0)
            return;
        // Value at the position, interpolated between the points around it.
        int i = 0;
        while (i + 1 < e->count && e->pos[i + 1] <= pos)
            i++;
        if (i + 1 >= e->count || e->pos[i + 1] == e->pos[i]) {
            val = e->val[i];
        } else {
            int span = e->pos[i + 1] - e->pos[i];
            val = e->val[i] + (int(e->val[i + 1]) - int(e->val[i])) * (pos - e->pos[i]) / span;
        }
        const bool held = (e->flags & 2) && !(c.flags & PMC_RELEASED) && pos == e->pos[e->sustain];
        if (held)
            return;
        pos++;
        if ((e->flags & 1) && pos >= e->pos[e->loopEnd]) {
            pos = e->pos[e->loopStart];
            if ((e->flags & 128) && (c.flags & PMC_RELEASED)) {
                c.flags |= PMC_FADING;
                if (val == 0)
                    c.fade = 0;
            }
        }
    };
    if (c.flags & PMC_VOLENV)
        run(in.volEnv, c.volEnvPos, c.volEnvVal);
    if (c.flags & PMC_PANENV)
        run(in.panEnv, c.panEnvPos, c.panEnvVal);
    if (c.flags & PMC_FADING) {
        c.fade -= 2 * in.fadeout;
        if (c.fade < 0)
            c.fade = 0;
    }
    if (c.flags & (PMC_VOLENV | PMC_PANENV | PMC_FADING))
        c.flags |= PMC_RECOMPUTE;
    if (c.flags & PMC_INSTVIB) {
        if (in.vibSweep && !(c.flags & PMC_RELEASED)) {
            c.ivDepth += in.vibDepthStep;
            if (c.ivDepth > in.vibDepth * 256)
                c.ivDepth = in.vibDepth * 256;
        } else if (!in.vibSweep) {
            c.ivDepth = in.vibDepth * 256;
        }
        c.ivPos += in.vibRate;
        int wave;
        const int p = c.ivPos;
        switch (in.vibType) {
        case 1:
            wave = (p & 128) ? 64 : -64;
            break;
        case 2:
            wave = (((p >> 1) + 64) & 127) - 64;
            break;
        case 3:
            wave = ((64 - (p >> 1)) & 127) - 64;
            break;
        case 4:
            wave = T().sine[(p >> 1) & 63];
            c.ivPos++;
            break;
        default:
            wave = T().xmSine[p & 255];
            break;
        }
        c.ivOffset = (c.ivDepth * wave) >> 14;
    } else {
        c.ivOffset = 0;
    }
}
