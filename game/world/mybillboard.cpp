#include "game/world/mybillboard.h"

#include <GLES/gl.h>

#include "gl/gles.h"

void MyBillboard::CheatSphericalBegin(GLES* gl)
{
    int32_t m[16];
    gl->glGetFixedv(GL_MODELVIEW_MATRIX, m);
    // Column-major: the upper-left 3x3 part is elements 0-2, 4-6 and 8-10.
    for (int c = 0; c < 3; c++)
        for (int r = 0; r < 3; r++)
            m[c * 4 + r] = c == r ? 0x10000 : 0;
    gl->glLoadMatrixx(m);
}
