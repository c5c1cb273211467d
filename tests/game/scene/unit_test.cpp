// Scene units and the scene camera: frame stepping on the scene's clock,
// loops, hold, direction, pause, and free channels.
#include <gtest/gtest.h>

#include "game/scene/p3dsceneunit.h"
#include "scene_fixtures.h"

namespace {

using scenetest::FakeClock;
using scenetest::Fx;
using scenetest::Keys;
using scenetest::Loaded;

// One model moving 1.0 along X per frame from frame 0 to 100, and a camera
// doing the same.
PamScene Moving(int fps)
{
    PamScene s;
    s.fps = fps;
    s.meshes = {"m"};
    PamModel m;
    m.tracks[0] = Keys({{0, 0}, {100, 100}});
    m.tracks[3] = Keys({{0, 0}, {100, 50}});
    s.models.push_back(m);
    PamModel still = m;
    still.flags = kPamStatic;
    s.models.push_back(still);
    s.camera = true;
    s.cam.tracks[0] = Keys({{0, 0}, {100, 100}});
    return s;
}

struct Fixture {
    Loaded l;
    FakeClock clock;
    explicit Fixture(int fps = 25)
    {
        EXPECT_EQ(1, l.Load(Moving(fps)));
        l.anim->SetTimeSource(&FakeClock::Read, &clock);
    }
    // Moves the clock by ms and animates the unit.
    void Step(P3DSceneUnit& u, uint32_t ms)
    {
        clock.now += ms;
        u.Animate();
    }
};

TEST(Unit, StepsWholePeriodsAndDropsTheRemainder)
{
    Fixture f;
    P3DSceneUnit u(f.l.anim);
    ASSERT_EQ(1, u.SetLoop(0, 100));
    f.Step(u, 39);
    EXPECT_EQ(0, u.frame);
    EXPECT_EQ(1000u, u.lastTick); // the elapsed time keeps accumulating
    f.Step(u, 46);           // 85 ms: two frames, 5 ms lost
    EXPECT_EQ(2, u.frame);
    EXPECT_EQ(2, f.l.anim->currentFrame);
    EXPECT_EQ(Fx(2), f.l.anim->models[0]->PosX());
    EXPECT_EQ(0, f.l.anim->models[1]->PosX()); // not animated
    f.Step(u, 39);
    EXPECT_EQ(2, u.frame);
}

TEST(Unit, LoopsWrapOrHoldInBothDirections)
{
    struct Case {
        int dir, hold, from, want;
    } cases[] = {{1, 0, 19, 12}, {1, 1, 19, 20}, {0, 0, 11, 18}, {0, 1, 11, 10}, {1, 0, 15, 18}};
    for (auto const& c : cases) {
        Fixture f;
        P3DSceneUnit u(f.l.anim);
        u.SetLoop(10, 20);
        u.SetCurrentFrame(c.from);
        c.dir ? u.PlayForward() : u.PlayBackward();
        u.HoldAtTheEndOfLoop(c.hold);
        f.Step(u, 3 * 40);
        EXPECT_EQ(c.want, u.frame) << c.dir << c.hold << c.from;
        EXPECT_EQ(Fx(c.want), f.l.anim->models[0]->PosX());
    }
}

TEST(Unit, CameraWrapsBackwardOneFrameShort)
{
    Fixture f;
    P3DAnim* a = f.l.anim;
    EXPECT_EQ(1, a->cameraPaused);
    a->SetCameraLoop(10, 20);
    a->CameraSetCurrentFrame(11);
    a->CameraPlayBackward();
    a->PlayCamera();
    f.clock.now += 120;
    a->AnimateCamera();
    EXPECT_EQ(17, a->cameraFrame);
    EXPECT_EQ(Fx(17), a->camera.tracks[0].value);
    a->CameraPlayForward();
    a->CameraSetCurrentFrame(19);
    f.clock.now += 120;
    a->AnimateCamera();
    EXPECT_EQ(12, a->cameraFrame);
    a->HoldCameraAtTheEndOfLoop(true);
    a->CameraSetCurrentFrame(19);
    f.clock.now += 120;
    a->AnimateCamera();
    EXPECT_EQ(20, a->cameraFrame);
    a->PauseCamera();
    f.clock.now += 1000;
    a->AnimateCamera();
    EXPECT_EQ(20, a->cameraFrame);
    a->SetCameraLoop(5, 5); // refused
    EXPECT_EQ(10, a->cameraLoopStart);
    a->ResetCamera();
    EXPECT_EQ(10, a->cameraFrame);
}

TEST(Unit, RefusesEmptyLoopsAndBadSpeeds)
{
    Fixture f;
    P3DSceneUnit u(f.l.anim);
    u.SetLoop(0, 50);
    EXPECT_EQ(0, u.SetLoop(5, 5));
    EXPECT_EQ(0, u.loopStart);
    EXPECT_EQ(50, u.loopEnd);
    u.SetFPS(0);
    u.SetFPS(-3);
    EXPECT_EQ(25, u.fps);
    u.SetFPS(50);
    f.Step(u, 40);
    EXPECT_EQ(2, u.frame);
    u.ResetFPS();
    EXPECT_EQ(25, u.fps);
    u.SetFPS(5000); // period 0: nothing moves
    f.Step(u, 1000);
    EXPECT_EQ(2, u.frame);
}

TEST(Unit, SceneWithoutFramesPerSecondStandsStill)
{
    for (int fps : {0, -5}) {
        Fixture f(fps);
        P3DSceneUnit u(f.l.anim);
        u.SetLoop(0, 50);
        f.Step(u, 10000); // no division by zero
        EXPECT_EQ(0, u.frame);
        f.l.anim->PlayCamera();
        f.l.anim->AnimateCamera();
        EXPECT_EQ(0, f.l.anim->cameraFrame);
    }
}

TEST(Unit, PauseAndResumeSkipThePausedTime)
{
    Fixture f;
    P3DSceneUnit u(f.l.anim);
    u.SetLoop(0, 100);
    f.Step(u, 200);
    EXPECT_EQ(5, u.frame);
    u.Pause();
    f.Step(u, 10000);
    EXPECT_EQ(5, u.frame);
    u.Play();
    f.Step(u, 40);
    EXPECT_EQ(6, u.frame);
    u.Reset();
    EXPECT_EQ(0, u.frame);
}

TEST(Unit, FreeChannelsOverrideTracks)
{
    Fixture f;
    P3DAnim* a = f.l.anim;
    P3DSceneUnit u(a);
    u.SetLoop(0, 100);
    P3DModel* m = a->models[0];
    m->dissolveAlpha = 1234;
    int i = u.AddFreeChannel(&m->tracks[kTrackRotY], m);
    EXPECT_EQ(0, i);
    EXPECT_EQ(1, m->tracks[kTrackRotY].blocked);
    P3DFreeChannel* fc = u.GetFreeChannelPtr(0);
    ASSERT_NE(nullptr, fc);
    EXPECT_EQ(1234, fc->alpha);
    EXPECT_EQ(0, fc->dissolve);
    fc->value = Fx(45);
    fc->alpha = 99;
    fc->dissolve = 1;
    f.Step(u, 400); // the blocked track is not re-evaluated
    u.RefreshFreeTransitionsToModels();
    EXPECT_EQ(Fx(45), m->RotY());
    EXPECT_EQ(Fx(10), m->PosX());
    EXPECT_EQ(1, m->IsDissolve());
    EXPECT_EQ(99, m->dissolveAlpha);
    fc->dissolve = 0;
    u.RefreshFreeTransitionsToModels();
    EXPECT_EQ(0, m->IsDissolve());
    EXPECT_EQ(1, u.AddFreeChannel(&m->tracks[kTrackPosY], m));
    u.RemoveFreeChannel(0);
    EXPECT_EQ(1, u.freeChannelCount);
    EXPECT_EQ(&m->tracks[kTrackPosY], u.GetFreeChannelPtr(0)->track);
    EXPECT_EQ(nullptr, u.GetFreeChannelPtr(1));
    u.RemoveAllFreeChannels();
    EXPECT_EQ(0, u.freeChannelCount);
}

TEST(Unit, RefreshMarksTheNullsAndCopiesDefaults)
{
    Fixture f;
    PamScene s = Moving(30);
    s.nulls.resize(2);
    Loaded l;
    ASSERT_EQ(1, l.Load(s));
    P3DSceneUnit u(l.anim);
    EXPECT_EQ(30, u.fps);
    EXPECT_EQ(1, u.direction);
    EXPECT_EQ(1, u.cameraViewport); // the scene has a camera
    EXPECT_EQ(1, u.BoxUnknown());
    u.Refresh();
    EXPECT_EQ(&u, l.anim->nulls[1]->refreshedBy);
    P3DSceneUnit empty;
    empty.Animate(); // no scene: nothing
    EXPECT_EQ(0, empty.frame);
}

} // namespace
