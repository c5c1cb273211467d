// The sample mixers: each adds one channel's samples into an output block,
// resampling by a 16.16 step with nearest-sample pick-up, scaling by the
// channel's left and right volumes (256 = unity) and clamping to the output
// range. The name is PMix_<source>_<output>.
#pragma once
#include <atomic>
#include <cstdint>

// What a mixer reads and advances for one channel. Volumes and step may be
// changed by the main thread while the audio thread mixes, so they are atomic;
// the mixers read each of them once per call.
struct PMixState {
    const unsigned char* data = nullptr; // sample data
    std::atomic<uint32_t> step{0x10000}; // 16.16 source samples per output frame
    uint32_t position = 0;               // whole samples (nibbles for ADPCM)
    uint32_t fraction = 0;               // low 16 bits used
    std::atomic<int16_t> left{256};
    std::atomic<int16_t> right{256};
    int16_t predictor = 0; // ADPCM decoder state: the last decoded sample
    uint8_t held = 0;      // the data byte of the last decoded nibble
    uint8_t phase = 0;     // 0: next nibble is the high one of a new byte
    int32_t stepIndex = 0; // 0..88
    uint32_t decoded = 0;  // ADPCM: index of the next nibble to decode

    // Clears position, fraction and the decoder.
    void Rewind(uint32_t pos)
    {
        position = pos;
        fraction = 0;
        predictor = 0;
        held = 0;
        phase = 0;
        stepIndex = 0;
        decoded = pos;
    }
};

typedef void (*PMixFunc)(PMixState* s, unsigned char* out, int frames);

// 8-bit output adds through this table: entry i = clamp(i - 128, 0, 254).
extern const unsigned char P8BitMixTab[512];
// IMA ADPCM: the 89 step sizes, the difference for each (step index, nibble)
// and the step index change per nibble.
extern const int16_t PADPCM_StepSizes[89];
extern const int32_t (&PADPCM_StepTable)[89][16];
extern const int8_t PADPCM_IndexAdjust[16];

// 8-bit output byte for an index into P8BitMixTab, the index clamped to the table.
inline unsigned char PMix8(int index)
{
    return P8BitMixTab[index < 0 ? 0 : (index > 511 ? 511 : index)];
}

// Decodes one nibble into the state's predictor and step index.
inline void PADPCM_Decode(PMixState* s, int nibble)
{
    int p = s->predictor + PADPCM_StepTable[s->stepIndex][nibble];
    s->predictor = int16_t(p < -32768 ? -32768 : (p > 32767 ? 32767 : p));
    int i = s->stepIndex + PADPCM_IndexAdjust[nibble];
    s->stepIndex = i < 0 ? 0 : (i > 88 ? 88 : i);
}

// Decodes `samples` nibbles of IMA ADPCM data (high nibble first, starting with
// predictor 0 and step index 0) into 16-bit PCM.
void PADPCM_DecodeBlock(const unsigned char* data, uint32_t samples, int16_t* out);

void PMix_Mono16_Mono16(PMixState* s, unsigned char* out, int frames);
void PMix_Mono16_Stereo16(PMixState* s, unsigned char* out, int frames);
void PMix_Mono16_Mono8(PMixState* s, unsigned char* out, int frames);
void PMix_Mono16_Stereo8(PMixState* s, unsigned char* out, int frames);
void PMix_Mono8_Mono16(PMixState* s, unsigned char* out, int frames);
void PMix_Mono8_Stereo16(PMixState* s, unsigned char* out, int frames);
void PMix_Mono8_Mono8(PMixState* s, unsigned char* out, int frames);
void PMix_Mono8_Stereo8(PMixState* s, unsigned char* out, int frames);
void PMix_Stereo16_Mono16(PMixState* s, unsigned char* out, int frames);
void PMix_Stereo16_Stereo16(PMixState* s, unsigned char* out, int frames);
void PMix_Stereo16_Mono8(PMixState* s, unsigned char* out, int frames);
void PMix_Stereo16_Stereo8(PMixState* s, unsigned char* out, int frames);
void PMix_Stereo8_Mono16(PMixState* s, unsigned char* out, int frames);
void PMix_Stereo8_Stereo16(PMixState* s, unsigned char* out, int frames);
void PMix_Stereo8_Mono8(PMixState* s, unsigned char* out, int frames);
void PMix_Stereo8_Stereo8(PMixState* s, unsigned char* out, int frames);
void PMixADPCM_Mono16(PMixState* s, unsigned char* out, int frames);
void PMixADPCM_Stereo16(PMixState* s, unsigned char* out, int frames);
void PMixADPCM_Mono8(PMixState* s, unsigned char* out, int frames);
void PMixADPCM_Stereo8(PMixState* s, unsigned char* out, int frames);
