// Key tracks: every animated value of a scene (positions, rotations, sizes,
// alphas, the camera's field of view, trigger radii) is a track of keys at
// whole frames with 16.16 values, evaluated by straight-line interpolation.
#pragma once
#include <cstdint>

class P3DModel;

class P3DChannel {
public:
    static P3DChannel* Create();
    P3DChannel();
    ~P3DChannel();
    P3DChannel(P3DChannel const&) = delete;
    P3DChannel& operator=(P3DChannel const&) = delete;

    // Reads a track at *pos of the size-byte buffer data (layout in
    // docs/formats/pam.md) and advances *pos. 1 on success; 0 (logged, the
    // track left empty and *pos unchanged) when the keys run past the end
    // of the data or memory is exhausted.
    int ReadChannel(const signed char* data, unsigned* pos, unsigned size);
    // Replaces the keys with copies of the given ones (frames ascending); 1,
    // or 0 when memory is exhausted (the track is then empty). Sets the
    // evaluation state as ReadChannel does.
    int SetKeys(int count, const int32_t* frames, const int32_t* values);
    // Evaluates the track at a frame into value (see the .cpp for the
    // rules); a track without keys is 0.
    void FindAB(unsigned int frame);
    // Negates every key value.
    void FixChannel();
    void Free();

    int32_t keyCount = 0;
    int32_t animated = 0;   // 1 when the track has more than one key
    int32_t value = 0;      // the current value, 16.16
    int32_t blocked = 0;    // while nonzero FindAB leaves value alone
    int32_t keyA = 0;       // the keys bracketing the last evaluated frame
    int32_t keyB = 0;
    int32_t* keyFrames = nullptr; // whole frames, ascending
    int32_t* keyValues = nullptr; // 16.16
};

// A track driven by the game instead of by its keys: while it exists its
// track is blocked and receives the value (and its model the alpha, the
// dissolve flag and the hidden flag) every drawn frame.
class P3DFreeChannel {
public:
    int32_t value = 0;
    int32_t alpha = 0;
    int32_t dissolve = 0;
    uint8_t hidden = 0; // while set the model is not drawn
    P3DChannel* track = nullptr;
    P3DModel* model = nullptr;
};
