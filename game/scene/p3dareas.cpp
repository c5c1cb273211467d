// The area grid: cells of one area size on each side of the origin (there is
// no cell 0), the models listed in the cells their boxes touch, the octant
// lookup tables from cell to area and the octree that collects the areas
// inside the view frustum.
#include "game/scene/p3dareas.h"

#include <cstring>
#include <initializer_list>

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dmeshlink.h"
#include "game/scene/p3dutils.h"

namespace {

constexpr int kAreaHashSize = 1 << 17; // twice the most areas
constexpr int kMaxTreeDepth = 64;

// Octree roots' signs, in this order.
constexpr int kSigns[8][3] = {{1, 1, 1},   {1, 1, -1},  {-1, 1, -1},  {-1, 1, 1},
                              {1, -1, 1},  {1, -1, -1}, {-1, -1, -1}, {-1, -1, 1}};

int32_t Saturate(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

unsigned CellHash(int x, int y, int z)
{
    uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(z) * 83492791u;
    return h ^ (h >> 15);
}

// Octant table index of a sign combination: bit 2 X, bit 1 Y, bit 0 Z set
// for negative, so the order is +++, ++-, +-+, +--, -++, -+-, --+, ---.
int OctantOf(int x, int y, int z)
{
    return (x < 0) << 2 | (y < 0) << 1 | (z < 0);
}

int Abs(int v)
{
    return v < 0 ? -v : v;
}

// The children (bit k for kSigns[k]) that hold a point, by the halves of its
// parent that hold it on each axis (bit 0 sign -1, bit 1 sign +1).
struct ChildrenByHalves {
    uint8_t bits[4][4][4] = {};
    constexpr ChildrenByHalves()
    {
        for (int k = 0; k < 8; k++)
            for (int hx = 0; hx < 4; hx++)
                for (int hy = 0; hy < 4; hy++)
                    for (int hz = 0; hz < 4; hz++)
                        if (Has(hx, kSigns[k][0]) && Has(hy, kSigns[k][1]) && Has(hz, kSigns[k][2]))
                            bits[hx][hy][hz] |= uint8_t(1 << k);
    }
    static constexpr bool Has(int h, int sign) { return (h & (sign > 0 ? 2 : 1)) != 0; }
};
constexpr ChildrenByHalves kChildrenOf;

// The cell of a child octree node on one axis from its parent's cell and the
// child's side.
int ChildCell(int p, int sign)
{
    if (p >= 1)
        return sign < 0 ? 2 * p - 1 : 2 * p;
    return sign > 0 ? 2 * p + 1 : 2 * p;
}

// A node's box on one axis for cell c and edge length size: [(c-1) size,
// c size] for c >= 1, [c size, (c+1) size] for c <= -1.
void CellRange(int c, int64_t size, int64_t* lo, int64_t* hi)
{
    if (c >= 1) {
        *lo = (int64_t(c) - 1) * size;
        *hi = int64_t(c) * size;
    } else {
        *lo = int64_t(c) * size;
        *hi = (int64_t(c) + 1) * size;
    }
}

} // namespace

// Cells.

int P3DAnim::Coord2Area(int c, signed char dir) const
{
    int s = AreaSize();
    int q = c / s;
    if (q == 0) {
        if (c > 0)
            return 1;
        if (c < 0)
            return -1;
        return dir > 0 ? 1 : -1;
    }
    if (c % s != 0)
        return q > 0 ? q + 1 : q - 1;
    if (q > 0)
        return dir > 0 ? q + 1 : q;
    return dir > 0 ? q : q - 1;
}

int P3DAnim::AreaIndexFromHash(int x, int y, int z) const
{
    for (unsigned h = CellHash(x, y, z);; h++) {
        int32_t i = m_areaHash[h & unsigned(m_areaHashMask)];
        if (i < 0)
            return -1;
        const P3DClip* a = areas[i];
        if (a->x == x && a->y == y && a->z == z)
            return i;
    }
}

int P3DAnim::AddToHash(int index)
{
    const P3DClip* a = areas[index];
    for (unsigned h = CellHash(a->x, a->y, a->z);; h++) {
        int32_t& slot = m_areaHash[h & unsigned(m_areaHashMask)];
        if (slot < 0) {
            slot = index;
            return 1;
        }
    }
}

P3DClip* P3DAnim::GetArea(int x, int y, int z)
{
    if (m_areaHash) {
        int i = AreaIndexFromHash(x, y, z);
        return i < 0 ? nullptr : areas[i];
    }
    for (int i = 0; i < areaCount; i++)
        if (areas[i]->x == x && areas[i]->y == y && areas[i]->z == z)
            return areas[i];
    return nullptr;
}

P3DClip* P3DAnim::AddArea(int x, int y, int z)
{
    if (areaCount >= kMaxAreas || areaCount >= areaLimit) {
        _PDebug("P3DAnim: more than %d areas\n", areaLimit < kMaxAreas ? areaLimit : kMaxAreas);
        return nullptr;
    }
    if (areaCount == m_areaCapacity) {
        int cap = m_areaCapacity ? m_areaCapacity * 2 : 16;
        auto* p = static_cast<P3DClip**>(PAlloc(cap * int(sizeof(P3DClip*))));
        if (!p)
            return nullptr;
        for (int i = 0; i < areaCount; i++)
            p[i] = areas[i];
        PFree(areas);
        areas = p;
        m_areaCapacity = cap;
    }
    P3DClip* a = new P3DClip(x, y, z);
    if (!a)
        return nullptr;
    areas[areaCount++] = a;
    if (m_areaHash)
        AddToHash(areaCount - 1);
    return a;
}

int P3DAnim::GenerateAreas(PMesh** meshes, int meshCount)
{
    // The boxes of the meshes, then the grid from them.
    typedef int32_t Box[6];
    Box* boxes = static_cast<Box*>(PAlloc(meshCount * int(sizeof(Box))));
    const Box** ptrs = static_cast<const Box**>(PAllocZ(meshCount * int(sizeof(Box*))));
    int ok = 0;
    if (boxes && ptrs) {
        for (int i = 0; i < meshCount; i++)
            if (meshes && P3DMeshBox(meshes[i], boxes[i]))
                ptrs[i] = &boxes[i];
        ok = GenerateAreasFromBoxes(ptrs, meshCount);
    }
    PFree(boxes);
    PFree(ptrs);
    return ok;
}

int P3DAnim::GenerateAreasFromBoxes(const int32_t (*const* boxes)[6], int meshCount)
{
    // The cells model i touches, [cl, ch] per axis; false when it touches
    // none or has no box.
    auto cellsOf = [&](int i, int cl[3], int ch[3], int64_t& cells) {
        P3DModel* m = models[i];
        if (m->meshIndex < 0 || m->meshIndex >= meshCount || m->IsSkyboxModel() || m->IsBgModel())
            return false;
        int64_t lo[3], hi[3];
        int64_t pos[3] = {m->PosX(), m->PosY(), m->PosZ()};
        if (m->IsBoxColl()) {
            for (int k = 0; k < 3; k++) {
                lo[k] = pos[k];
                hi[k] = pos[k] + m->size[k].value;
            }
        } else {
            const int32_t* b = boxes[m->meshIndex] ? *boxes[m->meshIndex] : nullptr;
            if (!b)
                return false;
            for (int k = 0; k < 3; k++) {
                lo[k] = pos[k] + b[k];
                hi[k] = pos[k] + b[k + 3];
            }
        }
        cells = 1;
        for (int k = 0; k < 3; k++) {
            cl[k] = Coord2Area(Saturate(lo[k]), 1);
            ch[k] = Coord2Area(Saturate(hi[k]), -1);
            int64_t n = int64_t(ch[k]) - cl[k] + 1;
            if (cl[k] < 0 && ch[k] > 0)
                n--; // no cell 0
            cells *= n > 0 ? n : 0;
        }
        return cells != 0;
    };

    // The cell hash is sized for the areas the models can make, so that a
    // scene of a few models does not pay for the largest grid.
    int64_t most = areaCount;
    for (int i = 0; i < modelCount && most < kMaxAreas && most < areaLimit; i++) {
        int cl[3], ch[3];
        int64_t cells;
        if (cellsOf(i, cl, ch, cells))
            most += cells;
    }
    int hashSize = 64;
    while (hashSize < kAreaHashSize && hashSize < 2 * most)
        hashSize <<= 1;
    m_areaHash = static_cast<int32_t*>(PAlloc(hashSize * 4));
    if (!m_areaHash)
        return 0;
    m_areaHashMask = hashSize - 1;
    for (int i = 0; i < hashSize; i++)
        m_areaHash[i] = -1;
    for (int i = 0; i < areaCount; i++)
        AddToHash(i);

    int ok = 1;
    int64_t entries = 0;
    for (int i = 0; i < modelCount && ok; i++) {
        int cl[3], ch[3];
        int64_t cells;
        if (!cellsOf(i, cl, ch, cells))
            continue;
        entries += cells;
        if (entries > kMaxAreaEntries) {
            _PDebug("P3DAnim: the models touch more than %d area cells\n", kMaxAreaEntries);
            ok = 0;
            break;
        }
        for (int z = cl[2]; z <= ch[2] && ok; z++) {
            if (!z)
                continue;
            for (int y = cl[1]; y <= ch[1] && ok; y++) {
                if (!y)
                    continue;
                for (int x = cl[0]; x <= ch[0]; x++) {
                    if (!x)
                        continue;
                    P3DClip* a = GetArea(x, y, z);
                    if (!a)
                        a = AddArea(x, y, z);
                    if (!a || !a->AddModel(uint16_t(i))) {
                        ok = 0;
                        break;
                    }
                }
            }
        }
    }
    PFree(m_areaHash);
    m_areaHash = nullptr;
    m_areaHashMask = 0;
    return ok;
}

// Octant tables.

void P3DAnim::InitAreaOptimizationArray(P3DOctantTable& t)
{
    t.cells = nullptr;
    t.dimX = t.dimY = t.dimZ = 0;
}

void P3DAnim::FreeAreaOptimizationArray(P3DOctantTable& t)
{
    PFree(t.cells);
    InitAreaOptimizationArray(t);
}

int P3DAnim::CreateAreaClipOptimizationArray(P3DOctantTable& t, int dimX, int dimY, int dimZ, bool posX, bool posY,
                                             bool posZ)
{
    FreeAreaOptimizationArray(t);
    if (dimX < 1 || dimY < 1 || dimZ < 1 || dimX > 65535 || dimY > 65535 || dimZ > 65535)
        return 0;
    int64_t n = int64_t(dimX) * dimY * dimZ;
    if (n > kMaxOctantCells)
        return 0;
    t.cells = static_cast<uint16_t*>(PAlloc(int(n * 2)));
    if (!t.cells)
        return 0;
    std::memset(t.cells, 0xFF, size_t(n) * 2); // every cell 65535: no area
    t.dimX = uint16_t(dimX);
    t.dimY = uint16_t(dimY);
    t.dimZ = uint16_t(dimZ);
    for (int i = 0; i < areaCount; i++) {
        const P3DClip* a = areas[i];
        if ((a->x > 0) != posX || (a->y > 0) != posY || (a->z > 0) != posZ)
            continue;
        int ix = Abs(a->x) - 1, iy = Abs(a->y) - 1, iz = Abs(a->z) - 1;
        if (ix < dimX && iy < dimY && iz < dimZ)
            t.cells[(int64_t(ix) * dimY + iy) * dimZ + iz] = uint16_t(i);
    }
    return 1;
}

int P3DAnim::BuildAreaLookups()
{
    int maxX = 1, maxY = 1, maxZ = 1, minX = -1, minY = -1, minZ = -1;
    for (int i = 0; i < areaCount; i++) {
        const P3DClip* a = areas[i];
        maxX = a->x > maxX ? a->x : maxX;
        maxY = a->y > maxY ? a->y : maxY;
        maxZ = a->z > maxZ ? a->z : maxZ;
        minX = a->x < minX ? a->x : minX;
        minY = a->y < minY ? a->y : minY;
        minZ = a->z < minZ ? a->z : minZ;
    }
    // The tables are dense: refuse grids whose extents would make them
    // huge (a few cells far from the others).
    int64_t total = 0;
    for (int o = 0; o < 8; o++) {
        int64_t dx = (o & 4) ? -int64_t(minX) : maxX;
        int64_t dy = (o & 2) ? -int64_t(minY) : maxY;
        int64_t dz = (o & 1) ? -int64_t(minZ) : maxZ;
        total += dx * dy * dz;
    }
    if (total > kMaxOctantCells) {
        _PDebug("P3DAnim: the area grid spans %lld cells, more than %lld\n", (long long)total,
                (long long)kMaxOctantCells);
        return 0;
    }
    for (int o = 0; o < 8; o++) {
        int dx = (o & 4) ? -minX : maxX;
        int dy = (o & 2) ? -minY : maxY;
        int dz = (o & 1) ? -minZ : maxZ;
        if (!CreateAreaClipOptimizationArray(octants[o], dx, dy, dz, !(o & 4), !(o & 2), !(o & 1))) {
            _PDebug("P3DAnim: area lookup table %d not built\n", o);
            return 0;
        }
    }

    PFree(areasInFrustum);
    areasInFrustum = static_cast<uint16_t*>(PAlloc((areaCount ? areaCount : 1) * 2));
    areasInFrustumCount = 0;
    if (!areasInFrustum)
        return 0;

    // Octree: a root per octant, as large as the farthest cell rounded up
    // to a power of two cells.
    int64_t s = AreaSize();
    int64_t cells = 0;
    for (int v : {maxX, minX, maxY, minY, maxZ, minZ}) {
        int64_t p = Abs(P3DUtils::ToPowerOf2(v));
        cells = p > cells ? p : cells;
    }
    int64_t pow2 = 2;
    while (pow2 < cells)
        pow2 <<= 1;
    int64_t rootSize = s * pow2;
    for (int r = 0; r < 8; r++) {
        delete roots[r];
        roots[r] = new P3DBspTreeElement(nullptr);
        if (!roots[r])
            return 0;
        P3DBspTreeElement* n = roots[r];
        n->root = 1;
        n->SetSize(rootSize);
        n->SetMinimumSize(int(s));
        n->SetCoord(kSigns[r][0], kSigns[r][1], kSigns[r][2]);
        n->SetVectors();
        if (!n->GenerateSubTrees(this)) {
            delete n;
            roots[r] = nullptr;
        }
    }
    return 1;
}

int P3DAnim::GetModelClipAreaIndex(int x, int y, int z) const
{
    if (!x || !y || !z)
        return -1;
    const P3DOctantTable& t = octants[OctantOf(x, y, z)];
    if (!t.cells)
        return -1;
    int64_t ix = int64_t(Abs(x)) - 1, iy = int64_t(Abs(y)) - 1, iz = int64_t(Abs(z)) - 1;
    if (ix >= t.dimX || iy >= t.dimY || iz >= t.dimZ)
        return -1;
    uint16_t v = t.cells[(ix * t.dimY + iy) * t.dimZ + iz];
    return v == 65535 || v >= areaCount ? -1 : v;
}

P3DClip* P3DAnim::GetModelClipAreaPtr(int x, int y, int z) const
{
    int i = GetModelClipAreaIndex(x, y, z);
    return i < 0 ? nullptr : areas[i];
}

void P3DAnim::GetModelClipAreaByGlobalPos(int x, int y, int z, int* ax, int* ay, int* az) const
{
    int s = AreaSize() >> 16;
    auto axis = [&](int current, int p) { return current == 0 ? 1 : (p >> 16) / s + (p >= 0 ? 1 : -1); };
    *ax = axis(curAreaX, x);
    *ay = axis(curAreaY, y);
    *az = axis(curAreaZ, z);
}

void P3DAnim::SetCurrentModelClipAreaByGlobalPos(int x, int y, int z)
{
    int ax, ay, az;
    GetModelClipAreaByGlobalPos(x, y, z, &ax, &ay, &az);
    curAreaX = ax;
    curAreaY = ay;
    curAreaZ = az;
    curAreaPosX = x;
    curAreaPosY = y;
    curAreaPosZ = z;
}

void P3DAnim::SetCurrentModelClipArea(int x, int y, int z)
{
    curAreaX = x;
    curAreaY = y;
    curAreaZ = z;
}

void P3DAnim::RefreshModelClipArea()
{
    currentArea = GetModelClipAreaPtr(curAreaX, curAreaY, curAreaZ);
}

void P3DAnim::RefreshAreasInFrustumList(const PPlane3* planes)
{
    areasInFrustumCount = 0;
    if (!areasInFrustum)
        return;
    for (auto* r : roots)
        if (r && r->IsBelongsToFrustum(planes))
            r->GetAreasInFrustum(planes, this, areasInFrustum, &areasInFrustumCount);
}

// Octree nodes.

P3DBspTreeElement::P3DBspTreeElement(P3DBspTreeElement* p) : parent(p)
{
    root = p ? 0 : 1;
}

P3DBspTreeElement::~P3DBspTreeElement()
{
    for (auto*& c : children) {
        delete c;
        c = nullptr;
    }
}

void P3DBspTreeElement::SetCoord(int sx, int sy, int sz)
{
    signX = sx, signY = sy, signZ = sz;
    if (!parent) {
        cellX = sx, cellY = sy, cellZ = sz;
        return;
    }
    cellX = ChildCell(parent->cellX, sx);
    cellY = ChildCell(parent->cellY, sy);
    cellZ = ChildCell(parent->cellZ, sz);
}

void P3DBspTreeElement::AxisRange(int c, int64_t* lo, int64_t* hi) const
{
    CellRange(c, size, lo, hi);
}

void P3DBspTreeElement::SetVectors()
{
    int64_t x0, x1, y0, y1, z0, z1;
    AxisRange(cellX, &x0, &x1);
    AxisRange(cellY, &y0, &y1);
    AxisRange(cellZ, &z0, &z1);
    PAABB3 b;
    b.min = PVector3(Saturate(x0), Saturate(y0), Saturate(z0));
    b.max = PVector3(Saturate(x1), Saturate(y1), Saturate(z1));
    P3DUtils::BBox2Vectors(b, corners);
}

int P3DBspTreeElement::IsBelongsToFrustum(const PPlane3* planes) const
{
    return P3DUtils::PBoxInFrustum(corners, planes, 6);
}

void P3DBspTreeElement::AllocSubTrees()
{
    for (auto*& c : children) {
        delete c;
        c = nullptr;
    }
    childCount = 0;
}

int P3DBspTreeElement::GenerateSubTrees(P3DAnim* anim)
{
    int n = anim->areaCount;
    auto* all = static_cast<int32_t*>(PAlloc((n ? n : 1) * 4));
    if (!all)
        return 0;
    for (int i = 0; i < n; i++)
        all[i] = i;
    int r = Subdivide(anim, all, n, 0);
    PFree(all);
    return r;
}

// The areas whose outer corner lies in a node are handed down, so that each
// level looks only at the areas of its parent.
int P3DBspTreeElement::Subdivide(P3DAnim* anim, const int32_t* candidates, int count, int depth)
{
    if (IsLeafAt(depth)) {
        subdivided = 0;
        return 1;
    }
    int64_t x0, x1, y0, y1, z0, z1;
    AxisRange(cellX, &x0, &x1);
    AxisRange(cellY, &y0, &y1);
    AxisRange(cellZ, &z0, &z1);
    auto* inside = static_cast<int32_t*>(PAlloc((count ? count : 1) * 4));
    if (!inside)
        return 0;
    int64_t s = anim->AreaSize();
    int n = 0;
    for (int i = 0; i < count; i++) {
        const P3DClip* a = anim->areas[candidates[i]];
        int64_t cx = a->x * s, cy = a->y * s, cz = a->z * s;
        if (cx >= x0 && cx <= x1 && cy >= y0 && cy <= y1 && cz >= z0 && cz <= z1)
            inside[n++] = candidates[i];
    }
    int r = n ? Split(anim, inside, n, depth) : 0;
    PFree(inside);
    return r;
}

bool P3DBspTreeElement::IsLeafAt(int depth) const
{
    return (size >> 1) < minimumSize || depth >= kMaxTreeDepth;
}

// The areas inside this node (at least one) are sorted into the eight
// children in one pass, and only children that are leaves or hold an area
// are made: the cost grows with the areas times the depth, never with the
// empty space around them.
int P3DBspTreeElement::Split(P3DAnim* anim, const int32_t* inside, int n, int depth)
{
    AllocSubTrees();
    childCount = 8;
    int64_t s = anim->AreaSize();
    int64_t half = size >> 1;
    // Per axis, the ranges of the children of sign -1 and +1: a coordinate
    // on the shared face lies in both.
    int64_t range[3][2][2];
    int const cell[3] = {cellX, cellY, cellZ};
    for (int axis = 0; axis < 3; axis++)
        for (int side = 0; side < 2; side++)
            CellRange(ChildCell(cell[axis], side ? 1 : -1), half, &range[axis][side][0], &range[axis][side][1]);
    // The areas are inside this node, so one bound per side decides.
    auto halves = [&](int axis, int64_t c) {
        return (c <= range[axis][0][1] ? 1 : 0) | (c >= range[axis][1][0] ? 2 : 0);
    };
    int counts[8] = {};
    auto* masks = static_cast<uint8_t*>(PAlloc(n));
    if (!masks)
        return 0;
    for (int i = 0; i < n; i++) {
        const P3DClip* a = anim->areas[inside[i]];
        unsigned m = kChildrenOf.bits[halves(0, a->x * s)][halves(1, a->y * s)][halves(2, a->z * s)];
        masks[i] = uint8_t(m);
        for (; m; m &= m - 1)
            counts[__builtin_ctz(m)]++;
    }
    int total = 0;
    int first[8];
    for (int k = 0; k < 8; k++) {
        first[k] = total;
        total += counts[k];
    }
    auto* lists = static_cast<int32_t*>(PAlloc((total ? total : 1) * 4));
    if (!lists) {
        PFree(masks);
        return 0;
    }
    int fill[8];
    std::memcpy(fill, first, sizeof fill);
    for (int i = 0; i < n; i++)
        for (unsigned m = masks[i]; m; m &= m - 1)
            lists[fill[__builtin_ctz(m)]++] = inside[i];
    PFree(masks);
    for (int k = 0; k < 8; k++) {
        bool leaf = (half >> 1) < minimumSize || depth + 1 >= kMaxTreeDepth;
        if (!leaf && counts[k] == 0)
            continue; // nothing inside: no child
        P3DBspTreeElement* c = new P3DBspTreeElement(this);
        if (!c)
            break;
        c->SetSize(half);
        c->SetMinimumSize(minimumSize);
        c->SetCoord(kSigns[k][0], kSigns[k][1], kSigns[k][2]);
        c->SetVectors();
        if (leaf) {
            c->subdivided = 0;
            children[k] = c;
        } else if (c->Split(anim, lists + first[k], counts[k], depth + 1)) {
            children[k] = c;
        } else {
            delete c;
        }
    }
    PFree(lists);
    return 1;
}

void P3DBspTreeElement::GetAreasInFrustum(const PPlane3* planes, P3DAnim* anim, uint16_t*& list, int32_t* count)
{
    Collect(planes, anim, list, count, 0);
}

void P3DBspTreeElement::Collect(const PPlane3* planes, P3DAnim* anim, uint16_t* list, int32_t* count, int depth)
{
    if (depth >= kMaxTreeDepth)
        return;
    for (auto* c : children) {
        if (!c || !c->IsBelongsToFrustum(planes))
            continue;
        if (c->subdivided) {
            c->Collect(planes, anim, list, count, depth + 1);
        } else {
            int i = anim->GetModelClipAreaIndex(c->cellX, c->cellY, c->cellZ);
            if (i >= 0 && *count < anim->areaCount)
                list[(*count)++] = uint16_t(i);
        }
    }
}
