// The area grid's lookup tables and the octree of cells that collects the
// areas inside the view frustum.
#pragma once
#include <cstdint>

#include "engine/runtime/pmath3d.h"

class P3DAnim;

// Cell-to-area lookup for one octant (one sign combination of X, Y, Z):
// entry [|x|-1][|y|-1][|z|-1] holds the area index, 65535 for none.
struct P3DOctantTable {
    uint16_t* cells = nullptr; // dimX * dimY * dimZ entries, Z fastest
    uint16_t dimX = 0, dimY = 0, dimZ = 0;
};

// An octree node: a cube of cells on one side of the origin on every axis.
class P3DBspTreeElement {
public:
    explicit P3DBspTreeElement(P3DBspTreeElement* parent);
    ~P3DBspTreeElement();
    P3DBspTreeElement(P3DBspTreeElement const&) = delete;
    P3DBspTreeElement& operator=(P3DBspTreeElement const&) = delete;

    // Edge length (16.16). Kept in 64 bits: a grid of cells far from the
    // origin needs a root larger than the 32-bit range.
    void SetSize(int64_t s) { size = s; }
    void SetMinimumSize(int s) { minimumSize = s; }
    // Signs of this node's octant; the cell coordinates follow from the
    // parent's (a root takes the signs).
    void SetCoord(int sx, int sy, int sz);
    // Stores the eight corners of the node box (saturated to 32 bits).
    void SetVectors();
    int IsBelongsToFrustum(const PPlane3* planes) const;
    // Makes the eight child slots empty.
    void AllocSubTrees();
    // Subdivides down to the area size where areas lie; 1 when the node
    // holds (or is) a leaf, 0 when no area is inside it.
    int GenerateSubTrees(P3DAnim* anim);
    // Appends the area indices of the visible leaves under this node to
    // list (capacity: the scene's area count).
    void GetAreasInFrustum(const PPlane3* planes, P3DAnim* anim, uint16_t*& list, int32_t* count);

    // Box of the node on one axis for cell c: [(c-1) size, c size] for
    // c >= 1, [c size, (c+1) size] for c <= -1.
    void AxisRange(int c, int64_t* lo, int64_t* hi) const;

    int64_t size = 0x10000;
    int32_t minimumSize = 0x10000;
    int32_t signX = 1, signY = 1, signZ = 1;
    int32_t cellX = 1, cellY = 1, cellZ = 1;
    uint8_t root = 0;
    uint8_t subdivided = 1;
    uint8_t reserved = 0;
    int8_t childCount = 0;
    PVector3 corners[8];
    P3DBspTreeElement* children[8] = {};
    P3DBspTreeElement* parent = nullptr;

private:
    int Subdivide(P3DAnim* anim, const int32_t* candidates, int count, int depth);
    int Split(P3DAnim* anim, const int32_t* inside, int n, int depth);
    bool IsLeafAt(int depth) const;
    void Collect(const PPlane3* planes, P3DAnim* anim, uint16_t* list, int32_t* count, int depth);
};
