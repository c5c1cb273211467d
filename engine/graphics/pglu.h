// Fixed-point forms of the two classic camera set-ups, applied to the current
// matrix of gl. Arguments are 16.16; fovy is in degrees.
#pragma once

class GLES;

void gluPerspectivex(GLES* gl, int fovy, int aspect, int zNear, int zFar);
void gluLookAtx(GLES* gl, int eyeX, int eyeY, int eyeZ, int centerX, int centerY, int centerZ, int upX, int upY,
                int upZ);
