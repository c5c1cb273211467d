// pamwrite: writes .pam scenes from a readable text description and prints
// scenes back in the same form.
//
//   pamwrite IN.txt OUT.pam    text to scene (refuses what the engine refuses)
//   pamwrite --dump IN.pam     the scene as read by the engine, as text
//   pamwrite --check IN.txt    parse and check only
//
// The text form is described in README.md next to this file.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/runtime/palloc.h"
#include "game/scene/p3danim.h"
#include "tools/lib/pam_writer.h"
#include "tools/lib/toolfile.h"
#include "tools/lib/toolcli.h"

namespace {

// The usage on out: on standard output for --help (exit 0), else on
// standard error (exit 2).
int Usage(FILE* out = stderr)
{
    std::fprintf(out,
                 "usage: pamwrite IN.txt OUT.pam\n"
                 "       pamwrite --dump IN.pam\n"
                 "       pamwrite --check IN.txt\n");
    return out == stdout ? 0 : 2;
}

int Fail(std::string const& msg)
{
    std::fprintf(stderr, "pamwrite: %s\n", msg.c_str());
    return 1;
}

PamTrack FromChannel(P3DChannel const& c)
{
    PamTrack t;
    for (int i = 0; i < c.keyCount; i++)
        t.keys.push_back({c.keyFrames[i], c.keyValues[i]});
    return t;
}

// Everything the engine keeps of the file, in the writer's terms.
PamScene FromAnim(P3DAnim const& a, char** names, int meshCount)
{
    PamScene s;
    s.fps = a.fileFPS;
    for (int i = 0; i < meshCount; i++)
        s.meshes.push_back(names[i]);
    s.skybox = a.skyboxFlag != 0;
    for (int i = 0; i < a.skyboxCount; i++)
        s.skyboxModels.push_back(a.skyboxModels[i]);
    for (int i = 0; i < a.modelCount; i++) {
        P3DModel const* m = a.models[i];
        PamModel pm;
        pm.flags = uint16_t(m->flags);
        pm.mesh = m->meshIndex;
        pm.parent = m->parent;
        for (int k = 0; k < 6; k++)
            pm.tracks[k] = FromChannel(m->tracks[k]);
        if (m->IsBoxColl())
            for (int k = 0; k < 3; k++)
                pm.size[k] = FromChannel(m->size[k]);
        if (m->IsDissolve())
            pm.dissolveAlpha = m->dissolveAlpha;
        else if (m->IsDissolveEnvelope())
            pm.envelope = FromChannel(m->envelope);
        s.models.push_back(pm);
    }
    s.areas = a.areasPresent != 0;
    s.areaSize = a.areaSize;
    for (int i = 0; i < a.nullCount; i++) {
        P3DNullPoint const* n = a.nulls[i];
        PamNull pn;
        pn.name = n->name ? n->name : "";
        for (int k = 0; k < 6; k++)
            pn.tracks[k] = FromChannel(n->tracks[k]);
        pn.link = n->linkedModel;
        s.nulls.push_back(pn);
    }
    s.camera = a.cameraPresent != 0;
    if (s.camera) {
        s.cam.byte = a.cameraByte;
        for (int k = 0; k < 6; k++)
            s.cam.tracks[k] = FromChannel(a.camera.tracks[k]);
        s.cam.fovConstant = a.fovConstant != 0;
        if (s.cam.fovConstant)
            s.cam.fov = a.constFov;
        else
            s.cam.fovTrack = FromChannel(a.camera.tracks[P3DCamera::kTrackFov]);
    }
    for (int i = 0; i < a.triggerCount; i++) {
        P3DTrigger const* t = a.triggers[i];
        PamTrigger pt;
        pt.name = t->name ? t->name : "";
        for (int k = 0; k < 3; k++)
            pt.centre[k] = FromChannel(t->tracks[k]);
        pt.radiusConstant = t->constRadiusFlag != 0;
        if (pt.radiusConstant)
            pt.radius = t->constRadius;
        else
            pt.radiusTrack = FromChannel(t->tracks[P3DTrigger::kTrackRadius]);
        s.triggers.push_back(pt);
    }
    return s;
}

int Dump(std::string const& path)
{
    std::vector<uint8_t> bytes;
    std::string err;
    if (!ReadFileBytes(path, &bytes, &err))
        return Fail(err);
    P3DAnim* a = P3DAnim::Create();
    if (!a)
        return Fail("out of memory");
    PMesh** meshes = nullptr;
    char** names = nullptr;
    int count = 0;
    // No texture directories: the scene alone, without its meshes.
    if (!a->LoadFromMemory(bytes.data(), unsigned(bytes.size()), nullptr, 0, nullptr, nullptr, meshes, names,
                           &count)) {
        delete a;
        return Fail(path + " is not a valid scene");
    }
    std::string text = PamFormatText(FromAnim(*a, names, count));
    for (int i = 0; i < count; i++)
        PFree(names[i]);
    PFree(names);
    PFree(meshes);
    delete a;
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int ReadText(std::string const& path, PamScene* s)
{
    std::vector<uint8_t> bytes;
    std::string err;
    if (!ReadFileBytes(path, &bytes, &err))
        return Fail(err);
    if (!PamParseText(std::string(bytes.begin(), bytes.end()), s, &err))
        return Fail(path + ": " + err);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (ToolHelpAsked(argc, argv))
        return Usage(stdout);
    if (argc == 3 && std::string(argv[1]) == "--dump")
        return Dump(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--check") {
        PamScene s;
        if (int r = ReadText(argv[2], &s))
            return r;
        std::vector<uint8_t> out;
        std::string err;
        if (!PamWrite(s, &out, &err))
            return Fail(std::string(argv[2]) + ": " + err);
        return 0;
    }
    if (argc != 3 || argv[1][0] == '-')
        return Usage();
    PamScene s;
    if (int r = ReadText(argv[1], &s))
        return r;
    std::vector<uint8_t> out;
    std::string err;
    if (!PamWrite(s, &out, &err))
        return Fail(std::string(argv[1]) + ": " + err);
    if (!WriteFileAtomic(argv[2], out, &err))
        return Fail(err);
    return 0;
}
