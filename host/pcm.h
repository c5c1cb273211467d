// PCM playback sink: where the audio engine's mixed blocks go. It stands in
// for the tablet's PCM plugin interface: open with a format, rate, channel
// count and fragment size; writes that report "would block" and underruns;
// prepare after an underrun; drain; close.
//
// Three flavours: SDL2 audio (real sound through the desktop's sound server),
// a WAV file written at the pace of the clock (headless runs and tests), and
// a null sink that discards at the same pace. The flavour is chosen once per
// process with HostPcmSelect (or the KRV_AUDIO environment variable:
// "sdl", "null" or "wav:<path>"); by default SDL2 is tried, then null.
#pragma once
#include <cstdint>

struct HostPcmParams {
    int bits;          // 8 (unsigned) or 16 (signed little-endian)
    int channels;      // 1 or 2, interleaved
    int rate;          // Hz
    int fragmentBytes; // preferred write size; 0 = 4096
};

// Channel states reported by Status.
enum HostPcmState {
    HOST_PCM_READY = 1,    // prepared, nothing written yet
    HOST_PCM_RUNNING = 2,  // playing
    HOST_PCM_UNDERRUN = 4, // ran dry; Prepare before writing again
};

// Error codes of Write, as errno values.
enum {
    HOST_PCM_EAGAIN = 11, // full: try again later
    HOST_PCM_EIO = 5,     // underrun or device failure: check the status
    HOST_PCM_EINVAL = 22, // not prepared
};

class HostPcm {
public:
    virtual ~HostPcm();
    // Writes up to `bytes` bytes of whole frames; returns the count accepted
    // (which may be short), or -1. When the count is below `bytes`, *err
    // tells why (one of the HOST_PCM_E* codes).
    virtual int Write(const void* data, int bytes, int* err) = 0;
    virtual int Status() = 0;
    // Makes an underrun channel ready again; 0 or -1.
    virtual int Prepare() = 0;
    // Waits until what was written has played; 0 or -1.
    virtual int Drain() = 0;
    // The fragment size the device settled on, in bytes.
    virtual int FragmentBytes() const = 0;
    // Text for the last failure.
    virtual const char* ErrorText() const { return "unknown error"; }
};

enum HostPcmKind {
    HOST_PCM_DEFAULT = 0, // SDL2, falling back to null
    HOST_PCM_SDL = 1,
    HOST_PCM_WAV = 2,
    HOST_PCM_NULL = 3,
};

// Chooses the flavour for later opens. For HOST_PCM_WAV, `wavPath` names the
// file (written through a temporary file, renamed when the sink closes);
// `speedPercent` paces WAV and null sinks at that share of real time (100 =
// real time, 0 = as fast as written).
void HostPcmSelect(HostPcmKind kind, const char* wavPath = nullptr, int speedPercent = 100);

// Opens a sink of the selected flavour; null on failure, with the reason in
// *why (static text) when given.
HostPcm* HostPcmOpen(const HostPcmParams& p, const char** why = nullptr);

// Replaces the way sinks are made (tests); null restores the flavours.
typedef HostPcm* (*HostPcmFactory)(const HostPcmParams& p, void* user);
void HostPcmSetFactory(HostPcmFactory factory, void* user);

// The flavours, for callers that want one directly.
HostPcm* HostPcmOpenSdl(const HostPcmParams& p, const char** why);
HostPcm* HostPcmOpenWav(const HostPcmParams& p, const char* path, int speedPercent, const char** why);
HostPcm* HostPcmOpenNull(const HostPcmParams& p, int speedPercent);
