#include "engine/audio/paudio.h"

#include <cstring>

#include "engine/audio/paudiosound.h"

// ---------------------------------------------------------------------------
// PAudioDevice

PAudioDevice::PAudioDevice(const PAudioDeviceSettings* s)
    : m_settings(), m_frameShift(0), m_mixers(), m_monitor(nullptr)
{
    if (s)
        SetSettings(*s);
}

PAudioDevice::~PAudioDevice() = default;

void PAudioDevice::SetSettings(const PAudioDeviceSettings& s)
{
    m_settings = s;
    m_settings.bytesPerFrame = uint32_t(s.bits) * s.channels / 8;
    m_frameShift = 0;
    while ((2u << m_frameShift) <= m_settings.bytesPerFrame)
        m_frameShift++;
    static const PMixFunc kMono16[5] = {PMix_Mono8_Mono16, PMix_Stereo8_Mono16, PMix_Mono16_Mono16,
                                        PMix_Stereo16_Mono16, PMixADPCM_Mono16};
    static const PMixFunc kStereo16[5] = {PMix_Mono8_Stereo16, PMix_Stereo8_Stereo16, PMix_Mono16_Stereo16,
                                          PMix_Stereo16_Stereo16, PMixADPCM_Stereo16};
    static const PMixFunc kMono8[5] = {PMix_Mono8_Mono8, PMix_Stereo8_Mono8, PMix_Mono16_Mono8,
                                       PMix_Stereo16_Mono8, PMixADPCM_Mono8};
    static const PMixFunc kStereo8[5] = {PMix_Mono8_Stereo8, PMix_Stereo8_Stereo8, PMix_Mono16_Stereo8,
                                         PMix_Stereo16_Stereo8, PMixADPCM_Stereo8};
    const PMixFunc* set;
    if (s.bits == 16)
        set = s.channels == 1 ? kMono16 : kStereo16;
    else
        set = s.channels == 1 ? kMono8 : kStereo8;
    std::memcpy(m_mixers, set, sizeof m_mixers);
}

PMixFunc PAudioDevice::GetMixer(int format, int channels) const
{
    if (format == 4)
        return m_mixers[4];
    if ((format != 8 && format != 16) || (channels != 1 && channels != 2))
        return nullptr;
    return m_mixers[(format - 8) / 4 + channels / 2];
}

PAudioDeviceMonitor* PAudioDevice::SetMonitor(PAudioDeviceMonitor* m)
{
    PAudioDeviceMonitor* old = m_monitor;
    m_monitor = m;
    return old;
}

// ---------------------------------------------------------------------------
// PAudioChannel

namespace {

int Clamp16(int v)
{
    return v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
}

// 16.16 source samples per output frame for a frequency and an output rate.
uint32_t StepFor(int hz, uint32_t rate)
{
    if (hz <= 0 || rate == 0)
        return 0;
    uint64_t step = (uint64_t(uint32_t(hz)) << 16) / rate;
    return step > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(step);
}

} // namespace

PAudioChannel::PAudioChannel(const PAudioInfo* info)
    : m_end(0), m_loopStart(0), m_loops(0), m_frequency(0), m_flags(0), m_activeCopies(0),
      m_outRate(0), m_info(), m_next(nullptr), m_prev(nullptr), m_source(this), m_player(nullptr)
{
    if (info) {
        m_info = *info;
    } else {
        m_info.volume = 256;
        m_info.copies = 1;
    }
    m_end = m_info.samples;
    m_frequency = m_info.rate;
    m_mix.left.store(int16_t(Clamp16(m_info.volume)), std::memory_order_relaxed);
    m_mix.right.store(int16_t(Clamp16(m_info.volume)), std::memory_order_relaxed);
    m_mix.step.store(0x10000, std::memory_order_relaxed);
}

PAudioChannel::PAudioChannel(const PAudioChannel& src)
    : m_end(0), m_loopStart(0), m_loops(0), m_frequency(0), m_flags(0), m_activeCopies(0),
      m_outRate(0), m_info(), m_next(nullptr), m_prev(nullptr), m_source(this), m_player(nullptr)
{
    Copy(src);
}

PAudioChannel::~PAudioChannel()
{
    StopForDelete();
    if (m_flags & PCH_PLAYING) {
        m_flags &= uint8_t(~PCH_PLAYING);
        if (m_source != this && m_source->m_activeCopies)
            m_source->m_activeCopies--;
    }
    if (m_source == this)
        delete[] const_cast<unsigned char*>(m_mix.data);
    m_mix.data = nullptr;
}

void PAudioChannel::StopForDelete()
{
    PAudioPlayer* p = m_player.load(std::memory_order_acquire);
    if (p)
        p->Stop(this);
}

void PAudioChannel::SetVolume2(int left, int right)
{
    m_mix.left.store(int16_t(Clamp16(left)), std::memory_order_relaxed);
    m_mix.right.store(int16_t(Clamp16(right)), std::memory_order_relaxed);
}

void PAudioChannel::GetVolume2(int& left, int& right) const
{
    left = m_mix.left.load(std::memory_order_relaxed);
    right = m_mix.right.load(std::memory_order_relaxed);
}

void PAudioChannel::SetFrequency(int hz)
{
    if (hz == m_frequency)
        return;
    m_frequency = hz;
    if (m_outRate)
        m_mix.step.store(StepFor(hz, m_outRate), std::memory_order_relaxed);
}

void PAudioChannel::SetPosition(unsigned int pos)
{
    m_mix.Rewind(pos > m_info.samples ? 0 : pos);
}

unsigned int PAudioChannel::GetPosition() const
{
    return m_mix.position;
}

void PAudioChannel::Unprepare()
{
    m_flags &= uint8_t(~PCH_PREPARED);
}

void PAudioChannel::Stop()
{
    if (!(m_flags & PCH_PLAYING))
        return;
    m_flags &= uint8_t(~(PCH_PLAYING | PCH_HEAD));
    if (m_source->m_activeCopies && --m_source->m_activeCopies == 0)
        m_source->m_player.store(nullptr, std::memory_order_release);
}

void PAudioChannel::Play(unsigned int) {}

int PAudioChannel::Prepare(const PAudioDevice& device)
{
    const PAudioDeviceSettings& s = device.GetSettings();
    if (s.rate == 0)
        return 0;
    m_outRate = s.rate;
    if (s.channels != 1)
        m_flags |= PCH_STEREO_OUT;
    else
        m_flags &= uint8_t(~PCH_STEREO_OUT);
    m_mix.step.store(StepFor(m_frequency, m_outRate), std::memory_order_relaxed);
    m_flags |= PCH_PREPARED;
    return 1;
}

void PAudioChannel::SetLooping(int on, int loops)
{
    m_loops = loops;
    if (on)
        m_flags |= PCH_LOOPING;
    else
        m_flags &= uint8_t(~PCH_LOOPING);
}

void PAudioChannel::SetParameters(int hz, int left, int right)
{
    SetFrequency(hz);
    SetVolume2(left, right);
}

void PAudioChannel::SetPan(int pan, bool wide, int separation, bool invert)
{
    int p = ((pan - 128) * separation) / 128 + 128;
    p = p < 0 ? 0 : (p > 256 ? 256 : p);
    int left = wide ? 2 * (256 - p) : 256 - p;
    int right = wide ? 2 * p : p;
    if (invert)
        left = -left;
    SetVolume2(left, right);
}

void PAudioChannel::Copy(const PAudioChannel& src)
{
    m_mix.left.store(src.m_mix.left.load(std::memory_order_relaxed), std::memory_order_relaxed);
    m_mix.right.store(src.m_mix.right.load(std::memory_order_relaxed), std::memory_order_relaxed);
    m_mix.step.store(src.m_mix.step.load(std::memory_order_relaxed), std::memory_order_relaxed);
    m_end = src.m_end;
    m_loopStart = src.m_loopStart;
    m_frequency = src.m_frequency;
    m_outRate = src.m_outRate;
    m_loops = 0;
    m_flags = src.m_flags & PCH_PREPARED;
    m_activeCopies = 0;
    m_mix.Rewind(0);
    // The data, its description and its owner are always taken from src: a
    // recycled copy may still name a source that has since been deleted.
    m_mix.data = src.m_mix.data;
    m_info = src.m_info;
    m_source = src.m_source;
}

// ---------------------------------------------------------------------------
// PAudioChannelList

void PAudioChannelList::Stop(PAudioChannel* ch)
{
    if (!(ch->m_flags & PCH_PLAYING))
        return;
    if (ch->m_prev)
        ch->m_prev->m_next = ch->m_next;
    else
        head = ch->m_next;
    if (ch->m_next)
        ch->m_next->m_prev = ch->m_prev;
    ch->m_next = ch->m_prev = nullptr;
    ch->Stop();
    // A channel whose own Stop left it marked playing is still taken out.
    ch->m_flags &= uint8_t(~(PCH_PLAYING | PCH_HEAD));
    if (ch->m_flags & PCH_COPY) {
        ch->m_next = freeHead;
        freeHead = ch;
    }
    count--;
}

void PAudioChannelList::Mix(unsigned char* out, int frames)
{
    PAudioChannel* c = head;
    while (c) {
        PAudioChannel* next = c->m_next;
        int n = frames;
        unsigned char* o = out;
        bool finished = false;
        while (n >= 1) {
            PMixState& m = c->m_mix;
            if (m.position >= c->m_end) {
                if (!(c->m_flags & PCH_LOOPING) || --c->m_loops == 0) {
                    finished = true;
                    break;
                }
                c->SetPosition(c->m_loopStart);
                if (m.position >= c->m_end) { // an empty loop would never advance
                    finished = true;
                    break;
                }
            }
            const uint64_t step = m.step.load(std::memory_order_relaxed);
            int count = n;
            if (step != 0) {
                // The source index of the block's last frame, exactly (no
                // precision dropped), so no mixer reads past the end.
                uint64_t reach = uint64_t(m.position) + ((m.fraction + step * uint64_t(n - 1)) >> 16);
                if (reach >= c->m_end) {
                    int64_t k = int64_t(((((uint64_t(c->m_end) - m.position) << 16) - m.fraction - 1) / step) + 1);
                    count = n < k ? n : int(k < 1 ? 1 : k);
                }
            }
            if (m.left.load(std::memory_order_relaxed) == 0 && m.right.load(std::memory_order_relaxed) == 0 &&
                !(c->m_flags & PCH_ALWAYS_MIX)) {
                uint64_t acc = m.fraction + step * uint64_t(count);
                m.position += uint32_t(acc >> 16);
                m.fraction = uint32_t(acc & 0xFFFF);
            } else if (!c->Mix(o, count)) {
                finished = true;
                break;
            }
            n -= count;
            o += size_t(count) * size_t(bytesPerFrame);
        }
        if (finished)
            Stop(c);
        c = next;
    }
}

// ---------------------------------------------------------------------------
// PAudioPlayer

PAudioPlayer::PAudioPlayer(PAudioDevice* device)
    : m_lockWord(0), m_list(), m_device(nullptr), m_bytesPerFrame(0), m_frameShift(0), m_flags(0),
      m_copies(0)
{
    if (device)
        SetDevice(device);
}

PAudioPlayer::~PAudioPlayer()
{
    if (m_device) {
        m_device->Stop();
        delete m_device;
        m_device = nullptr;
    }
    m_flags &= ~PPLAYER_STARTED;
    StopAll();
    while (PAudioChannel* c = m_list.freeHead) {
        m_list.freeHead = c->m_next;
        delete c;
    }
}

void PAudioPlayer::SetDevice(PAudioDevice* device)
{
    m_device = device;
    if (!device)
        return;
    const PAudioDeviceSettings& s = device->GetSettings();
    m_bytesPerFrame = int32_t(uint32_t(s.bits) * s.channels / 8);
    m_list.bytesPerFrame = m_bytesPerFrame;
    m_frameShift = 0;
    while ((2 << m_frameShift) <= m_bytesPerFrame)
        m_frameShift++;
}

void PAudioPlayer::SetMixerChannels(int n)
{
    if (n > 0)
        m_list.limit = n;
}

int PAudioPlayer::Start()
{
    if (m_flags & PPLAYER_STARTED)
        return 0;
    if (!m_device)
        return -1;
    m_flags |= PPLAYER_STARTED;
    int r = m_device->Start();
    if (r != 0)
        m_flags &= ~PPLAYER_STARTED;
    else
        m_flags &= ~PPLAYER_EVENT_STOPPED;
    return r;
}

int PAudioPlayer::Stop()
{
    m_flags &= ~PPLAYER_EVENT_STOPPED;
    int r = 0;
    if (m_flags & PPLAYER_STARTED) {
        // The device stops its thread without the player's lock held: the
        // thread may be waiting for that lock inside Mix.
        r = m_device->Stop();
        m_flags &= ~PPLAYER_STARTED;
    }
    Lock();
    TrimFreeList();
    Unlock();
    return r;
}

int PAudioPlayer::Pause()
{
    return Stop();
}

int PAudioPlayer::Lock()
{
    int expected = 0;
    while (!m_lockWord.compare_exchange_weak(expected, 1, std::memory_order_acquire)) {
        expected = 0;
    }
    return 0;
}

void PAudioPlayer::Unlock()
{
    m_lockWord.store(0, std::memory_order_release);
}

int PAudioPlayer::OnEvent(int event, int a, int)
{
    bool stop;
    if (event == 4)
        stop = a == 0;
    else if (event == 35)
        stop = a != 0 && a != 2 && a != 8;
    else
        return 0;
    if (stop) {
        if (m_flags & PPLAYER_STARTED) {
            Stop();
            m_flags |= PPLAYER_EVENT_STOPPED;
        }
    } else if (m_flags & PPLAYER_EVENT_STOPPED) {
        Start();
    }
    return 1;
}

void PAudioPlayer::TrimFreeList()
{
    while (m_list.freeHead && m_copies >= 4) {
        PAudioChannel* c = m_list.freeHead;
        m_list.freeHead = c->m_next;
        c->m_next = nullptr;
        delete c;
        if (--m_copies <= 3)
            break;
    }
}

PAudioChannel* PAudioPlayer::Play(PAudioChannel* ch, unsigned int flags, int loops)
{
    if (!ch)
        return nullptr;
    Lock();
    PAudioChannel* c = ch;
    if (!(flags & 1) && ((ch->m_flags & PCH_PLAYING) || (flags & 8))) {
        if (!ch->IsCopyable()) {
            // Module players and other channels that own a running state are
            // never copied: a playing one keeps sounding as it is.
            if (ch->m_flags & PCH_PLAYING) {
                Unlock();
                return ch;
            }
            flags &= ~8u;
        } else {
            if (ch->m_info.copies != 0 && ch->m_source->m_activeCopies >= ch->m_info.copies && !(flags & 8)) {
                Unlock();
                return ch;
            }
            PAudioSound* src = static_cast<PAudioSound*>(ch);
            if (m_list.freeHead) {
                c = m_list.freeHead;
                m_list.freeHead = c->m_next;
                c->m_next = c->m_prev = nullptr;
                static_cast<PAudioSound*>(c)->Copy(*src);
            } else {
                c = new PAudioSound(*src);
                if (!c) {
                    Unlock();
                    return nullptr;
                }
                m_copies++;
            }
            c->m_flags |= PCH_COPY;
        }
    }

    bool insert = true;
    if (c->m_flags & PCH_PAUSED) {
        if (c->m_mix.position >= c->m_end)
            flags |= 1;
    } else {
        flags |= 1;
    }

    if ((flags & 1) && (c->m_flags & PCH_PLAYING)) {
        if (!(flags & 64) || (c->m_flags & PCH_HEAD)) {
            c->m_end = c->m_info.samples;
            c->m_loopStart = c->m_info.loopStart;
            if (flags & 64)
                c->m_flags |= PCH_HEAD;
            else
                c->m_flags &= uint8_t(~PCH_HEAD);
            insert = false;
        } else {
            // Taking the head slot: the channel leaves its place (without
            // going to the free list, even when it is a copy) and re-enters.
            bool copy = c->m_flags & PCH_COPY;
            c->m_flags &= uint8_t(~PCH_COPY);
            m_list.Stop(c);
            if (copy)
                c->m_flags |= PCH_COPY;
        }
    }

    if (insert) {
        c->m_prev = nullptr;
        PAudioChannel* head = m_list.head;
        bool headSlot = head && (head->m_flags & PCH_HEAD);
        PAudioChannel* after = nullptr; // c goes after this channel, or at the front
        if ((flags & 64) && headSlot) {
            m_list.Stop(head);
        } else if (m_list.count >= m_list.limit) {
            PAudioChannel* victim = head;
            for (PAudioChannel* v = head; v; v = v->m_next)
                if (v->m_info.priority < victim->m_info.priority)
                    victim = v;
            if (!(flags & 64) && c->m_info.priority < victim->m_info.priority) {
                if (c->m_flags & PCH_COPY) { // back to the free list for later use
                    c->m_next = m_list.freeHead;
                    m_list.freeHead = c;
                }
                Unlock();
                return nullptr;
            }
            if (victim)
                m_list.Stop(victim);
            head = m_list.head;
            if (!(flags & 64) && head && (head->m_flags & PCH_HEAD))
                after = head;
        } else if (!(flags & 64) && headSlot) {
            after = head;
        }
        if (after) {
            c->m_prev = after;
            c->m_next = after->m_next;
            if (after->m_next)
                after->m_next->m_prev = c;
            after->m_next = c;
        } else {
            c->m_next = m_list.head;
            if (m_list.head)
                m_list.head->m_prev = c;
            m_list.head = c;
        }
        m_list.count++;
        c->m_end = c->m_info.samples;
        c->m_loopStart = c->m_info.loopStart;
        c->m_source->m_activeCopies++;
        c->m_source->m_player.store(this, std::memory_order_release);
        // Marked playing now so that a failure below can take it out again.
        c->m_flags |= PCH_PLAYING;
        if (flags & 64)
            c->m_flags |= PCH_HEAD;
        else
            c->m_flags &= uint8_t(~PCH_HEAD);
    }

    if (!(c->m_flags & PCH_PREPARED)) {
        if (!m_device || !c->Prepare(*m_device)) {
            m_list.Stop(c);
            Unlock();
            return nullptr;
        }
    }
    if (uint32_t(loops) > 1) {
        c->m_loops = loops;
        c->m_flags |= PCH_LOOPING;
        c->m_end = c->m_info.loopEnd;
    } else if (!(c->m_flags & PCH_PAUSED)) {
        c->m_flags &= uint8_t(~PCH_LOOPING);
    }
    c->Play(flags);
    c->m_flags &= uint8_t(~PCH_PAUSED);
    c->m_flags |= PCH_PLAYING;
    Unlock();
    return c;
}

void PAudioPlayer::Pause(PAudioChannel* ch)
{
    if (!ch || !(ch->m_flags & PCH_PLAYING))
        return;
    Lock();
    if (ch->m_flags & PCH_PLAYING) {
        ch->m_flags |= PCH_PAUSED;
        m_list.Stop(ch);
    }
    Unlock();
}

void PAudioPlayer::StopLocked(PAudioChannel* ch)
{
    m_list.Stop(ch);
    if (ch->m_activeCopies != 0) {
        PAudioChannel* c = m_list.head;
        while (c) {
            PAudioChannel* next = c->m_next;
            if (c->m_source == ch)
                m_list.Stop(c);
            c = next;
        }
    }
}

void PAudioPlayer::Stop(PAudioChannel* ch)
{
    if (!ch)
        return;
    Lock();
    StopLocked(ch);
    Unlock();
}

void PAudioPlayer::StopAll()
{
    bool locked = m_device != nullptr;
    if (locked)
        Lock();
    while (m_list.head)
        m_list.Stop(m_list.head);
    TrimFreeList();
    if (locked)
        Unlock();
}

void PAudioPlayer::Mix(unsigned char* out, int bytes)
{
    Lock();
    bool eight = m_device && m_device->GetSettings().bits == 8;
    std::memset(out, eight ? 128 : 0, size_t(bytes));
    m_list.Mix(out, bytes >> m_frameShift);
    Unlock();
}
