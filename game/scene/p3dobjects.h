// The objects of a loaded scene: models, named attachment points (null
// points), the scene camera, sphere triggers and area cells. Each animated
// value is a key track; every object has six tracks in the order position
// X, Y, Z, rotation about Y, about Z, about X (16.16, angles in degrees).
#pragma once
#include <cstdint>

#include "engine/runtime/pmath3d.h"
#include "game/scene/p3dchannel.h"
#include "game/scene/p3dutils.h"

class P3DAnim;
class P3DSceneUnit;
class PMesh;
class GLES;

// Track numbers of a scene object.
enum P3DTrack {
    kTrackPosX = 0,
    kTrackPosY = 1,
    kTrackPosZ = 2,
    kTrackRotY = 3,
    kTrackRotZ = 4,
    kTrackRotX = 5,
};

// Model flags (stored in the scene file as a big-endian 16-bit value).
enum P3DModelFlag : uint32_t {
    kModelDissolveEnvelope = 0x001, // alpha from the dissolve-envelope track
    kModelDissolve = 0x002,         // alpha from the dissolve alpha value
    kModelAdditive = 0x004,         // additive blending
    kModelAlphaAdditive = 0x008,    // drawn half transparent
    kModelTransparency = 0x010,     // source-alpha blending
    kModelBoxColl = 0x020,          // invisible collision box, never drawn
    kModelSkybox = 0x040,           // part of the sky box
    kModelNotAnimated = 0x080,      // frame changes do not re-evaluate it
    kModelPerPolyColl = 0x100,      // collides per polygon (the game tests it)
    kModelBackground = 0x200,       // drawn after the scene, in no area
    kModelBlendedMask = 0x01F,      // any of these: a blended model
};

class P3DModel {
public:
    static P3DModel* Create();
    P3DModel();
    ~P3DModel();
    P3DModel(P3DModel const&) = delete;
    P3DModel& operator=(P3DModel const&) = delete;

    // ORs bits in only when none of them is set yet.
    void AddFlag(uint32_t bits);
    // Removes bits only when at least one of them is set (use single bits).
    void RemoveFlag(uint32_t bits);

    int IsDissolveEnvelope() const { return (flags & kModelDissolveEnvelope) != 0; }
    int IsDissolve() const { return (flags & kModelDissolve) != 0; }
    int IsAddtiveBlending() const { return (flags & kModelAdditive) != 0; }
    int IsAlphaAddtiveBlending() const { return (flags & kModelAlphaAdditive) != 0; }
    int IsTransparency() const { return (flags & kModelTransparency) != 0; }
    int IsBoxColl() const { return (flags & kModelBoxColl) != 0; }
    int IsSkyboxModel() const { return (flags & kModelSkybox) != 0; }
    int IsNotAnimated() const { return (flags & kModelNotAnimated) != 0; }
    int IsPerPolyColl() const { return (flags & kModelPerPolyColl) != 0; }
    int IsBgModel() const { return (flags & kModelBackground) != 0; }
    int IsBlended() const { return (flags & kModelBlendedMask) != 0; }

    // The eight corners of the model's box in scene space from the eight
    // corners of its mesh's box, placed as the model is drawn: by its own
    // placement, then by each model of its parent chain; nothing for null.
    void RefreshBox(const PVector3* meshCorners);
    // The placement the model is drawn with inside its parent: translation,
    // then the fourth track about Y, the sixth about X, the fifth about Z.
    P3DPlacement Placement() const;

    // Current values of the six tracks.
    int PosX() const { return tracks[kTrackPosX].value; }
    int PosY() const { return tracks[kTrackPosY].value; }
    int PosZ() const { return tracks[kTrackPosZ].value; }
    int RotY() const { return tracks[kTrackRotY].value; }
    int RotZ() const { return tracks[kTrackRotZ].value; }
    int RotX() const { return tracks[kTrackRotX].value; }

    P3DAnim* anim = nullptr;
    P3DChannel tracks[6];
    P3DChannel size[3];       // box width, height, depth (box-collision models)
    int32_t meshIndex = -1;   // into the scene's mesh list, later the pool
    int32_t parent = -1;      // parent model index, -1 none
    int32_t chainLength = 0;  // parent, its parent, ... up to the root
    int32_t* chain = nullptr;
    PVector3 box[8];          // scene-space corners (RefreshBox)
    int32_t visible = 1;      // result of the last frustum test
    P3DChannel envelope;      // dissolve envelope
    int32_t dissolveAlpha = 0;
    uint32_t flags = 0;
    int32_t drawStamp = 0;    // the scene's stamp when last drawn
    uint8_t hidden = 0;       // set through a free channel: not drawn
};

class P3DNullPoint {
public:
    static P3DNullPoint* Create(P3DAnim* anim);
    explicit P3DNullPoint(P3DAnim* anim);
    ~P3DNullPoint();
    P3DNullPoint(P3DNullPoint const&) = delete;
    P3DNullPoint& operator=(P3DNullPoint const&) = delete;

    // Copies the name (at most 255 bytes are kept); 0 when memory is
    // exhausted.
    int SetName(const char* s, int length);

    void PlugModel(PMesh* mesh);
    void UnplugModel();
    void PlugScene(P3DSceneUnit* unit);
    void UnplugScene();
    // Evaluates the six tracks unless free drawing is on.
    void RefreshTransition(unsigned int frame);
    void SetFreeDrawing(bool on) { freeDrawing = on ? 1 : 0; }
    // Only while free drawing: position, then a about Y, b about X (sixth
    // track), c about Z (fifth track).
    void SetFreePosition(int x, int y, int z, int a, int b, int c);
    void SetFreeRotation(int a, int b, int c);
    // Y track, sixth track, fifth track.
    void GetRotation(int* a, int* b, int* c) const;
    void GetRotation(int& a, int& b, int& c) const { GetRotation(&a, &b, &c); }
    // Position in scene space where the null is drawn: moved by the linked
    // model and its parent chain unless free drawing is on.
    void GetPosition(int* x, int* y, int* z) const;
    void GetPosition(int& x, int& y, int& z) const { GetPosition(&x, &y, &z); }
    // Stores the plugged mesh's bounding box.
    void UpdateMeshBox();
    // Draws the plugged mesh at the null's position and rotation with the
    // given perspective-correction hint.
    void Render(GLES* gl, int aspect, PMesh** meshes, int hint);
    int NameCmp(const char* s) const;
    // 1 when the plugged mesh's box is unknown (all six values -1).
    int MeshBoxUnknown() const;
    // The model the null is drawn on (its linked model, while free drawing
    // is off), or null: the null's frame is then the scene's.
    const P3DModel* DrawnOnModel() const;
    // The placement of a plugged mesh inside the null's frame: the order
    // models are drawn with.
    P3DPlacement MeshPlacement() const;
    // The placement of a plugged scene inside the null's frame: translation,
    // then the fourth track about Y, the sixth about Z, the fifth about X.
    P3DPlacement ScenePlacement() const;

    P3DChannel tracks[6];
    char* name = nullptr;
    uint8_t nameLength = 0;
    uint8_t meshPlugged = 0;
    PMesh* mesh = nullptr;                  // not owned
    int32_t meshBox[6] = {-1, -1, -1, -1, -1, -1};
    uint8_t scenePlugged = 0;
    P3DSceneUnit* unit = nullptr;           // not owned
    uint8_t freeDrawing = 0;
    int32_t linkedModel = -1;
    P3DAnim* anim = nullptr;
    P3DSceneUnit* refreshedBy = nullptr;    // the unit that last refreshed it
};

class P3DCamera {
public:
    static constexpr int kTrackFov = 6;
    P3DChannel tracks[7]; // the six of a model, then the field of view
};

class P3DTrigger {
public:
    static constexpr int kTrackRadius = 6;
    static P3DTrigger* Create();
    P3DTrigger();
    ~P3DTrigger();
    P3DTrigger(P3DTrigger const&) = delete;
    P3DTrigger& operator=(P3DTrigger const&) = delete;

    int SetName(const char* s, int length);
    // The centre tracks and, for a varying radius, the radius track.
    void RefreshTransitions(unsigned int frame);
    // 1 when the point lies within the sphere (the boundary counts).
    int IsPointInside(PVector3 p) const;
    int Radius() const { return constRadiusFlag ? constRadius : tracks[kTrackRadius].value; }

    int32_t one = 1;
    P3DChannel tracks[7]; // centre X, Y, Z, three unused, radius
    uint8_t constRadiusFlag = 1;
    int32_t constRadius = 0x10000;
    char* name = nullptr;
    int16_t id = -1;
};

// One area cell of the grid: the models whose box touches it.
class P3DClip {
public:
    P3DClip(int cx, int cy, int cz);
    ~P3DClip();
    P3DClip(P3DClip const&) = delete;
    P3DClip& operator=(P3DClip const&) = delete;

    // Appends a model index; 0 when memory is exhausted.
    int AddModel(unsigned short model);

    uint16_t* models = nullptr;
    int32_t count = 0;
    int32_t x, y, z; // cell coordinates, never 0
    int32_t capacity = 0;
};
