#include "game/world/audiomanager.h"

#include "engine/audio/paudio.h"
#include "engine/audio/paudiosound.h"
#include "engine/audio/pmusicmodule.h"
#include "engine/platform/pdevice.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/ptime.h"

namespace {

// After a call ends the platform's audio needs a moment before it takes our
// output again.
constexpr unsigned kCallEndSettleMs = 1300;
constexpr unsigned kCallEndAfterStartMs = 500;

int ClampVolume(int v) { return v < 0 ? 0 : (v > AudioManager::kMaxVolume ? AudioManager::kMaxVolume : v); }

} // namespace

// Rows that name a file again are separate clips with their own loaded copy.
const AudioManager::ClipInfo AudioManager::kClips[kClipCount] = {
    {CLIP_SOUND, "data\\audio\\music\\menuMusic.psn", GROUP_MUSIC, 0},
    {CLIP_MODULE, "data\\audio\\music\\_notused_.pmf", GROUP_MUSIC, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\plane1.psn", GROUP_EFFECTS, 0}, // the player's engine
    {CLIP_SOUND, "data\\audio\\sfx\\boing.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\stall.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\planeexplode.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\planehiccup.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\machinegun1.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\menubomb.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\menubombexp.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\large_explosion.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\click.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\menumovebomb.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\menumovebomb.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\nuke.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\artillery.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\plane1.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\plane1.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\plane1.psn", GROUP_EFFECTS, 0},
    {CLIP_SOUND, "data\\audio\\sfx\\plane1.psn", GROUP_EFFECTS, 0},
};

AudioManager::AudioManager()
{
    m_player = PAudioPlayer::Open(nullptr);
    if (!m_player)
        _PDebug("AudioManager: no audio output; the game runs silent\n");
    m_callMonitor = PCallMonitor::Create(this, nullptr);
    if (m_callMonitor)
        m_callMonitor->Start();
}

AudioManager::~AudioManager()
{
    if (m_player)
        m_player->StopAll();
    for (int i = 0; i < kClipCount; i++)
        Unload(i);
    delete m_callMonitor;
    m_callMonitor = nullptr;
    delete m_player;
    m_player = nullptr;
}

bool AudioManager::DeviceMuted() { return PProfile::GetGameVolume() == 0; }

int AudioManager::InitAllSounds()
{
    for (int i = 0; i < kLoadedClips; i++)
        Load(i);
    Start();
    return 0;
}

int AudioManager::Load(int i)
{
    if (i < 0 || i >= kClipCount)
        return 0;
    if (m_clips[i])
        return 1;
    const ClipInfo& c = kClips[i];
    PAudioChannel* ch = nullptr;
    if (c.type == CLIP_SOUND)
        ch = PAudioSound::Load(c.path);
    else if (c.type == CLIP_MODULE)
        ch = PMusicModulePlayer::LoadFile(c.path);
    else
        return 0;
    if (!ch) {
        _PDebug("AudioManager: clip %d (%s) did not load; it stays silent\n", i, c.path);
        return 0;
    }
    ch->SetVolume(m_groupVolume[c.group]);
    m_clips[i] = ch;
    return 1;
}

void AudioManager::Unload(int i)
{
    if (i < 0 || i >= kClipCount || !m_clips[i])
        return;
    // The channel's destructor takes it and its copies out of the player.
    delete m_clips[i];
    m_clips[i] = nullptr;
}

void AudioManager::FreeAllSounds()
{
    for (int i = 0; i < kLoadedClips; i++)
        Unload(i);
}

int AudioManager::Play(int i, unsigned flags, int loops)
{
    if (i < 0 || i >= kClipCount || !m_clips[i])
        return 0;
    if (m_player)
        m_player->Play(m_clips[i], flags, loops);
    return 1;
}

void AudioManager::Stop(int i)
{
    if (i < 0 || i >= kClipCount || !m_clips[i] || !m_player)
        return;
    m_player->Stop(m_clips[i]);
}

void AudioManager::StopAll()
{
    if (m_state != STATE_STOPPED)
        for (int i = 0; i < kClipCount; i++)
            Stop(i);
    m_state = STATE_STOPPED;
}

void AudioManager::SetVolume(int i, int volume, int)
{
    if (i < 0 || i >= kClipCount || !m_clips[i])
        return;
    m_clips[i]->SetVolume(volume);
}

void AudioManager::SetVolume(int group, int volume)
{
    if (group != GROUP_MUSIC && group != GROUP_EFFECTS)
        return;
    m_groupVolume[group] = volume;
    for (int i = 0; i < kClipCount; i++)
        if (kClips[i].group == group && m_clips[i])
            m_clips[i]->SetVolume(volume);
}

int AudioManager::GetVolume(int i) const
{
    if (i < 0 || i >= kClipCount || !m_clips[i])
        return 0;
    return m_clips[i]->GetVolume();
}

void AudioManager::SetFrequency(int i, int hz)
{
    if (i < 0 || i >= kClipCount || !m_clips[i] || !m_player)
        return;
    // The mixer reads the rate on the playback thread.
    m_player->Lock();
    m_clips[i]->SetFrequency(hz);
    m_player->Unlock();
}

void AudioManager::SetMainVolume(int up)
{
    if (DeviceMuted())
        return;
    m_mainVolume = ClampVolume(m_mainVolume + (up ? kVolumeStep : -kVolumeStep));
    if (!m_player)
        return;
    if (PAudioDevice* d = m_player->GetDevice())
        d->SetVolume(unsigned(m_mainVolume), 0);
    if ((m_groupVolume[GROUP_MUSIC] == 0 && m_groupVolume[GROUP_EFFECTS] == 0) || m_mainVolume == 0)
        m_player->Stop();
    else
        m_player->Start();
}

int AudioManager::StartOutput()
{
    if (PAudioDevice* d = m_player->GetDevice())
        d->SetVolume(unsigned(m_mainVolume), 0);
    return m_player->Start();
}

int AudioManager::Start()
{
    if (m_callMonitor)
        m_callMonitor->Start();
    if (!m_player)
        return 0;
    int r = 0;
    if (m_state != STATE_RUNNING) {
        m_state = STATE_RUNNING;
        if (!DeviceMuted() && m_mainVolume != 0)
            r = StartOutput();
    }
    m_player->SetMixerChannels(kMixerChannels);
    return r;
}

void AudioManager::Stop()
{
    if (m_callMonitor)
        m_callMonitor->Stop();
    if (m_state == STATE_RUNNING && m_player)
        m_player->StopAll();
    m_state = STATE_STOPPED;
}

void AudioManager::PauseAll()
{
    if (m_state != STATE_RUNNING)
        return;
    if (m_callMonitor)
        m_callMonitor->Pause();
    if (m_player)
        m_player->Stop();
    m_state = STATE_PAUSED;
}

int AudioManager::ResumeAll()
{
    if (m_callMonitor)
        m_callMonitor->Resume();
    if (m_state != STATE_PAUSED || !m_player)
        return 0;
    if (DeviceMuted() || m_mainVolume == 0) {
        m_state = STATE_RUNNING;
        return 0;
    }
    const int r = StartOutput();
    if (r == 0)
        m_state = STATE_RUNNING;
    return r;
}

int AudioManager::OnEvent(int event, int a, int)
{
    if (event != kCallStateEvent)
        return 0;
    if (m_state != STATE_RUNNING || !m_player)
        return 1;
    if (a != 0) {
        m_player->Stop();
        m_eventB = 1;
        m_eventA = 0;
    } else {
        PSleep(kCallEndSettleMs);
        const int r = m_player->Start();
        PSleep(kCallEndAfterStartMs);
        m_eventA = 1;
        m_eventB = r == 0 ? 1 : 0;
    }
    return 1;
}
