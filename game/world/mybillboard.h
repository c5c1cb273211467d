// Camera-facing drawing: the effects' billboard helper.
#pragma once

class GLES;

class MyBillboard {
public:
    // Replaces the rotation and scale of the current model-view matrix with
    // the identity, keeping its translation and bottom row: what is drawn
    // next faces the viewer at unit scale at the current position. There is
    // no matching end call; callers push the matrix before and pop it after.
    static void CheatSphericalBegin(GLES* gl);
};
