// One aircraft model placed in a level: a scene unit plugged on a named null
// point of the level scene, its lower-detail sub-scenes, rotors, flap and
// rudder channels and gun-fire models, and the ratings the aircraft takes
// over from its configuration.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/runtime/pmath3d.h"

class P3DAnim;
class P3DFreeChannel;
class P3DGameEngine;
class P3DNullPoint;
class P3DSceneUnit;

class PlaneScene {
public:
    // The largest flap or rudder deflection (16.16 degrees).
    static constexpr int32_t kMaxDeflection = 70 << 16;
    // Distance between successive level-of-detail switches (16.16).
    static constexpr int32_t kLodStep = 12 << 16;
    // The frame every aircraft unit is held at.
    static constexpr int kRestFrame = 121;

    PlaneScene();
    ~PlaneScene();
    PlaneScene(PlaneScene const&) = delete;
    PlaneScene& operator=(PlaneScene const&) = delete;

    // The scene of the given index (null when the engine has none).
    void SetScene(P3DGameEngine* engine, int index);
    // A new unit of the scene, held at its rest frame, paused and disabled,
    // its box the union of its meshes' boxes; with a level, plugged on the
    // level's null point of that name and placed there (angles: pitch, yaw,
    // roll). Nothing without an engine or a scene.
    void AddUnit(P3DGameEngine* engine, P3DAnim* level, const char* nullName, const PVector3& position,
                 const PVector3& angles);
    // Appends a unit of the rotor scene; plugged on the aircraft's null
    // point of that name when there is one, its first model spinning about
    // its Z axis through a free channel of that unit (so every aircraft's
    // rotors turn on their own although they share the rotor scene).
    void AddRotor(P3DGameEngine* engine, int sceneIndex, const char* nullName);
    // A name beginning "NULL" means the part is missing.
    void DefineFlapLeft(P3DGameEngine* engine, const char* name);
    void DefineFlapRight(P3DGameEngine* engine, const char* name);
    void DefineRudder(P3DGameEngine* engine, const char* name);
    // Every model of that name gets a hidden channel.
    void DefineGunFires(P3DGameEngine* engine, const char* name);
    // n empty lower-detail scenes and their switch distances.
    void SetLodsScenes(int n);
    void SetLODchangeDistance(int k, int d);
    // Picks the scene to show from the null point's distance in front of
    // the view plane: none behind it, the full scene up to the first
    // distance, then each lower level in turn.
    void UpdateLODscene(const PPlane3* plane);
    void RotateRotor(int i, int angle);
    void SetFlapsDegree(int d);
    void SetRudderDegee(int d);
    void SetGunFireActive(bool on, int angle);

    P3DAnim* scene = nullptr;
    int32_t sceneIndex = -1;
    P3DSceneUnit* unit = nullptr;
    std::vector<P3DFreeChannel*> gunFires;
    P3DFreeChannel* flapLeft = nullptr;
    P3DFreeChannel* flapRight = nullptr;
    P3DFreeChannel* rudder = nullptr;
    P3DNullPoint* null = nullptr;
    uint8_t flapLeftPresent = 0, flapRightPresent = 0, rudderPresent = 0;
    std::vector<P3DSceneUnit*> rotors; // units stay with the scene manager
    std::vector<P3DFreeChannel*> rotorSpins; // per rotor, null when not plugged
    std::vector<std::unique_ptr<PlaneScene>> lods;
    PlaneScene* current = this;
    std::vector<int32_t> lodDistances;
    int8_t armour = 0, speed = 0, preset = 0;
    int32_t engineRate1 = 4725, engineRate2 = 11025;

private:
    P3DFreeChannel* DefinePart(P3DGameEngine* engine, const char* name, uint8_t& present);
};
