#include "game/scene/p3dchannel.h"

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"

P3DChannel* P3DChannel::Create()
{
    return new P3DChannel();
}

P3DChannel::P3DChannel() = default;

P3DChannel::~P3DChannel()
{
    Free();
}

void P3DChannel::Free()
{
    PFree(keyFrames);
    PFree(keyValues);
    keyFrames = nullptr;
    keyValues = nullptr;
    keyCount = 0;
    animated = 0;
    keyA = keyB = 0;
}

static void ResetEvaluation(P3DChannel& t)
{
    t.animated = t.keyCount != 1;
    t.keyA = 0;
    t.keyB = t.keyCount == 1 ? 0 : 1;
    t.blocked = 0;
}

int P3DChannel::ReadChannel(const signed char* data, unsigned* pos, unsigned size)
{
    Free();
    unsigned p = *pos;
    if (p > size || size - p < 2) {
        _PDebug("P3DChannel: track header past the end of the data (at %u of %u)\n", p, size);
        return 0;
    }
    const uint8_t* b = reinterpret_cast<const uint8_t*>(data) + p;
    // Key count: big-endian 16 bits, unsigned.
    unsigned count = (unsigned(b[0]) << 8) | b[1];
    p += 2;
    if ((size - p) / 8 < count) {
        _PDebug("P3DChannel: %u keys need %u bytes, %u left\n", count, count * 8, size - p);
        return 0;
    }
    if (count) {
        keyFrames = static_cast<int32_t*>(PAlloc(int(count * 4)));
        keyValues = static_cast<int32_t*>(PAlloc(int(count * 4)));
        if (!keyFrames || !keyValues) {
            Free();
            return 0;
        }
        b = reinterpret_cast<const uint8_t*>(data) + p;
        for (unsigned i = 0; i < count; i++, b += 8) {
            int32_t time = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
            keyFrames[i] = time >> 16; // frames are whole: the fraction is dropped
            keyValues[i] = int32_t(uint32_t(b[4]) | uint32_t(b[5]) << 8 | uint32_t(b[6]) << 16 | uint32_t(b[7]) << 24);
        }
        p += count * 8;
    }
    keyCount = int32_t(count);
    ResetEvaluation(*this);
    *pos = p;
    return 1;
}

int P3DChannel::SetKeys(int count, const int32_t* frames, const int32_t* values)
{
    Free();
    if (count < 0)
        count = 0;
    if (count) {
        keyFrames = static_cast<int32_t*>(PAlloc(count * 4));
        keyValues = static_cast<int32_t*>(PAlloc(count * 4));
        if (!keyFrames || !keyValues) {
            Free();
            return 0;
        }
        for (int i = 0; i < count; i++) {
            keyFrames[i] = frames[i];
            keyValues[i] = values[i];
        }
    }
    keyCount = count;
    ResetEvaluation(*this);
    return 1;
}

// Frames are compared unsigned. Between two keys the value follows the line
// through them with the slope rounded toward zero before it is multiplied, so
// a value can fall a little short of the next key just before it. Outside
// the keys: before the first one the line of the first two keys continues;
// from the last one on the last value holds. Differences and products are
// taken in 64 bits and the result wraps to 32 bits.
void P3DChannel::FindAB(unsigned int frame)
{
    if (keyCount <= 0) {
        value = 0;
        return;
    }
    if (!animated) {
        value = keyValues[keyA];
        return;
    }
    if (blocked)
        return;
    int last = keyCount - 1;
    if (unsigned(keyFrames[last]) <= frame) {
        keyA = last - 1;
        keyB = last;
        value = keyValues[last];
        return;
    }
    for (int i = 0; i <= last; i++) {
        if (frame == unsigned(keyFrames[i]) && i < last) {
            keyA = i;
            keyB = i + 1;
            break;
        }
        if (i > 0 && frame < unsigned(keyFrames[i])) {
            keyA = i - 1;
            keyB = i;
            break;
        }
    }
    int32_t fa = keyFrames[keyA], fb = keyFrames[keyB];
    int32_t va = keyValues[keyA], vb = keyValues[keyB];
    if (fa == fb) {
        value = va;
        return;
    }
    int64_t slope = (int64_t(vb) - va) / (int64_t(fb) - fa);
    uint64_t delta = uint64_t(int64_t(frame) - fa);
    value = int32_t(uint32_t(uint64_t(int64_t(va)) + delta * uint64_t(slope)));
}

void P3DChannel::FixChannel()
{
    for (int i = 0; i < keyCount; i++)
        keyValues[i] = int32_t(0u - uint32_t(keyValues[i]));
}
