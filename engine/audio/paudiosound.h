// Sample sounds and the PSND sound file (byte layout: docs/formats/psnd.md).
#pragma once
#include <cstdint>

#include "engine/audio/paudio.h"

class PStream;

// The header of a PSND record: the data description plus the fields that
// only module samples use.
struct PAudioSoundHeader {
    PAudioInfo info;
    uint32_t dataSize;   // bytes of sample data after the header
    uint32_t headerLeft; // header bytes beyond the 30 that are decoded
    uint8_t adpcm;       // 1: the data is ADPCM that a module decodes at load
    uint32_t loopType;   // 0 none, 1 forward, 2 ping-pong
    uint16_t panning;    // 128 = centre
    int16_t relativeNote;
    int8_t fineTune;

    // Reads the header (and the magic unless noMagic is set) and checks it
    // against the data it announces. 0, or 0xFFFFFFFF (logged) when the
    // stream is short or the header is not a sound any mixer can play.
    unsigned Load(PStream& s, int noMagic);
};

// A channel that plays one block of sample data held in memory.
class PAudioSound : public PAudioChannel {
public:
    // Takes ownership of `data` (allocated with new[]).
    PAudioSound(unsigned char* data, const PAudioInfo& info);
    PAudioSound(const PAudioSound& src);
    ~PAudioSound() override;

    // A sound from a PSND stream or file; null on any failure.
    static PAudioSound* Load(PStream& s);
    static PAudioSound* Load(const char* name);

    void Copy(const PAudioSound& src);
    int Mix(unsigned char* out, int frames) override;
    void Play(unsigned int flags) override;
    int Prepare(const PAudioDevice& device) override;
    int IsCopyable() const override { return 1; }

    const unsigned char* GetData() const { return m_mix.data; }

private:
    PMixFunc m_mixer;
};

// Bytes of sample data that `samples` frames of a format and channel count
// occupy; 0 for a format no mixer plays.
uint64_t PAudioDataBytes(int format, int channels, uint64_t samples);
