// The tracker-module player: plays songs in the engine's own module format
// (.pmf, byte layout in docs/formats/pmod.md) as one channel of the player.
// A module follows the period rules of one of three tracker families:
// type 0 MOD, type 1 XM (linear or logarithmic periods, instruments and
// envelopes) and type 2 S3M (per-sample middle-C rates).
#pragma once
#include <atomic>
#include <cstdint>

#include "engine/audio/paudio.h"

class PStream;

// Module flags.
enum : uint32_t {
    PMOD_LINEAR = 1,       // type 1: linear frequencies
    PMOD_SLIDE_TICK0 = 2,  // volume slides also act on tick 0
    PMOD_PAN_TABLE = 4,    // the file holds a channel panning table
    PMOD_RECOMPUTE = 0x100, // every channel volume must be recomputed
    PMOD_STEREO = 0x200,   // stereo output
    PMOD_SURROUND = 0x400, // the left output is inverted
};

// One voice as the module mixers see it: signed sample data (8-bit or
// 16-bit), 16.16 position, a signed step and the two volumes (4096 = unity).
struct PModVoice {
    const void* data;
    uint32_t pos;
    uint32_t frac;
    int64_t step;
    int32_t left;
    int32_t right;
};
typedef void (*PModMixFunc)(PModVoice* v, int32_t* buf, int frames);
// They add into the 32-bit buffer with saturation: 16-bit samples add
// volume x sample, 8-bit samples volume x (sample << 8).
void PMixMod_Mono8(PModVoice* v, int32_t* buf, int frames);
void PMixMod_Mono16(PModVoice* v, int32_t* buf, int frames);
void PMixMod_Stereo8(PModVoice* v, int32_t* buf, int frames);
void PMixMod_Stereo16(PModVoice* v, int32_t* buf, int frames);

struct PModEnvelope {
    uint16_t pos[24]; // tick positions, non-decreasing
    uint16_t val[24]; // 0-256
    uint8_t count;
    uint8_t flags; // 1 loop, 2 sustain, 128 fade at each loop wrap after release
    uint8_t sustain;
    uint8_t loopStart;
    uint8_t loopEnd;
};

struct PModInstrument {
    uint8_t map[128]; // sample index by note - 1; 255 = none
    PModEnvelope* volEnv;
    PModEnvelope* panEnv;
    uint8_t kept; // byte 0 of the record, carried along
    uint8_t vibType, vibSweep, vibDepth, vibRate;
    int32_t vibDepthStep; // depth x 256 / sweep
    uint16_t fadeout;
};

struct PModSample {
    unsigned char* data; // signed PCM with guard bytes after it
    uint32_t length;     // frames
    uint32_t loopStart, loopEnd;
    uint32_t flags; // 1 loop, 2 ping-pong, 4 16-bit
    int8_t fineTune;
    int32_t relNote; // type 2: the middle-C rate
    uint16_t volume; // 0-256
    uint16_t panning;
    PModMixFunc mixer;
};

// Channel flags.
enum : uint32_t {
    PMC_ACTIVE = 1,
    PMC_VOLENV = 4,
    PMC_PANENV = 8,
    PMC_FADING = 16,
    PMC_RELEASED = 32,
    PMC_SUSTAINED = 64,
    PMC_INSTVIB = 128,
    PMC_RECOMPUTE = 0x100,
};

struct PModChannel {
    int sample;     // index, -1 none
    int instrument; // index, -1 none
    int note;       // 1-132 (with the sample's relative note)
    int32_t period, target, outPeriod;
    uint32_t pos, frac;
    int64_t step;
    int32_t volume, noteVolume, pan; // 0-256
    int32_t left, right;             // mixer volumes
    // Effect memories.
    int portaUp, portaDown, tonePorta, porta36, porta37;
    int vibSpeed, vibDepth, vibPos, vibWave;
    int tremSpeed, tremDepth, tremPos, tremWave;
    int volSlide, panSlide, globalSlide, offset;
    // The row's effect.
    int effect, param, volcol;
    int retrig, cutTick, delayTick;
    uint8_t delayed[5]; // a delayed row cell
    // Envelopes and fade-out.
    int32_t fade;
    int volEnvPos, panEnvPos, volEnvVal, panEnvVal;
    int ivPos, ivDepth, ivOffset; // instrument vibrato
    uint32_t flags;
};

class PMusicModulePlayer : public PAudioChannel {
public:
    PMusicModulePlayer();
    ~PMusicModulePlayer() override;

    static PMusicModulePlayer* LoadFile(const char* name);
    static PMusicModulePlayer* LoadStream(PStream& s);
    // 0, or -1 (logged) when the module is refused.
    int Load(PStream& s);
    void ReleaseData();

    int Mix(unsigned char* out, int frames) override;
    int Prepare(const PAudioDevice& device) override;
    void Play(unsigned int flags) override;
    void Stop() override;
    void SetFrequency(int) override {}
    void SetPosition(unsigned int pos) override;
    unsigned int GetPosition() const override;
    // The master volume (left only), clamped to 0-256.
    void SetVolume2(int left, int right) override;

    void SetStereoSeparation(int s);
    int GetStereoSeparation() const { return m_separation.load(); }
    void SetDolbySurround(int on);
    int GetDolbySurround() const { return (m_modFlags.load() & PMOD_SURROUND) != 0; }
    void SetAdjustBPM(int adjust);
    int GetInterpolation() const { return 0; }

    // For inspection.
    int GetSpeed() const { return m_speed; }
    int GetTempo() const { return m_tempo; }
    int GetGlobalVolume() const { return m_globalVolume; }
    int GetTickSamples() const { return m_tickSamples; }
    int GetChannelCount() const { return m_channelCount; }
    const PModChannel* GetChannel(int i) const { return i >= 0 && i < m_channelCount ? &m_channels[i] : nullptr; }
    int GetType() const { return int(m_headerFlags >> 28); }

private:
    int Refill();
    int PlayTick();
    void UpdateNote();
    void UpdateEffect();
    void MixChannels(int32_t* buf, int frames);
    void UpdateChannelVolume(PModChannel& c);
    void UpdateBufferSize();
    void ResetChannels();
    void SelectOrder(int order);
    void ChooseMixers();

    void CellTick0(PModChannel& c, const uint8_t* cell);
    void TriggerNote(PModChannel& c, int note, bool restart);
    void KeyOff(PModChannel& c);
    void ChannelTick(PModChannel& c);
    void Envelopes(PModChannel& c);
    int32_t NotePeriod(const PModChannel& c, int note) const;
    void SetStepFromPeriod(PModChannel& c, int32_t period);
    void VolumeSlide(PModChannel& c, int param);
    void Vibrato(PModChannel& c);
    void Tremolo(PModChannel& c);
    void TonePorta(PModChannel& c);
    void ClampPeriod(PModChannel& c);

    // Song.
    uint32_t m_headerFlags;
    int m_initSpeed, m_initTempo, m_songLength, m_restart, m_patternCount, m_channelCount;
    int m_initGlobal, m_sampleCount, m_instrumentCount;
    uint32_t m_lowPeriod, m_highPeriod;
    uint8_t* m_orders;
    uint16_t* m_rows;        // rows per pattern
    uint32_t* m_patternAt;   // byte offset of each pattern
    uint8_t* m_patterns;
    uint16_t* m_panTable;
    PModSample* m_samples;
    PModInstrument* m_instruments;
    PModChannel* m_channels;

    // Playback.
    int m_order, m_row, m_tick, m_speed, m_tempo, m_globalVolume;
    int m_patternDelay, m_nextOrder, m_nextRow;
    int m_tickSamples, m_tickLeft;
    bool m_ended;
    int32_t* m_buffer; // 2048 values
    int m_bufFrames, m_bufAt;

    // Output.
    uint32_t m_rate;
    int m_outBits, m_outChannels, m_outBpf;
    std::atomic<uint32_t> m_modFlags;
    std::atomic<int> m_separation;
    std::atomic<int> m_adjustBPM;
    int m_appliedAdjust;
};
