// The back-end interface under the GL front end: one pure virtual operation per
// slot of the table in glbackend_slots.h, in that order.
#pragma once
#include <cstdint>

#include "gl/glbackend_slots.h"

struct PDisplayProperties;

namespace vornGL {

typedef uint32_t u32;
typedef int32_t i32;
typedef uint8_t u8;
typedef float f32;

class PGLShaderUniformValue;

// API numbers reported by vornGLGetAPI.
enum { kAPISoftware = 0, kAPIES11 = 1, kAPIES20 = 2 };

// The zero result of a slot's type (nothing for void), for generated bodies.
template <class T> inline T SlotZero() { return T(); }

class P3DBackend {
public:
    virtual ~P3DBackend() {}

#define VORNGL_DECLARE_SLOT(kind, ret, name, params, args, cv) virtual ret name params cv = 0;
    VORNGL_BACKEND_SLOTS(VORNGL_DECLARE_SLOT)
#undef VORNGL_DECLARE_SLOT
};

} // namespace vornGL
