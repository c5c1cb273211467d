// Reading a scene file. Every count, length, offset and index of the file is
// checked before use; a scene that breaks a rule is refused whole with a
// logged reason.
#include <climits>

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pdebugmute.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pstring.h"
#include "engine/runtime/ptext.h"
#include "engine/runtime/ptime.h"
#include "game/scene/p3danim.h"
#include "game/scene/p3dmeshlink.h"

namespace {

// Smallest sizes of the records, to refuse counts the data cannot hold
// before anything is allocated: a track is at least its 2-byte key count.
constexpr unsigned kMinModelRecord = 4 + 6 * 2;
constexpr unsigned kMinNullRecord = 1 + 6 * 2 + 4;
constexpr unsigned kMinTriggerRecord = 1 + 3 * 2 + 1 + 2;

class Cursor {
public:
    Cursor(const uint8_t* data, unsigned size) : m_data(data), m_size(size) {}

    unsigned Left() const { return m_size - m_pos; }
    unsigned Pos() const { return m_pos; }
    bool Need(unsigned n, const char* what)
    {
        if (Left() >= n)
            return true;
        _PDebug("P3DAnim: scene data ends inside %s (byte %u of %u)\n", what, m_pos, m_size);
        return false;
    }
    uint8_t U8() { return m_data[m_pos++]; }
    int8_t S8() { return int8_t(m_data[m_pos++]); }
    int32_t I32()
    {
        const uint8_t* b = m_data + m_pos;
        m_pos += 4;
        return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    }
    bool Track(P3DChannel& t, const char* what)
    {
        const signed char* d = reinterpret_cast<const signed char*>(m_data);
        if (t.ReadChannel(d, &m_pos, m_size))
            return true;
        _PDebug("P3DAnim: bad track in %s\n", what);
        return false;
    }
    // A length byte (0-127) and that many bytes, as a new zero-terminated
    // string (PFree it); null on failure.
    char* String(const char* what, int* lengthOut)
    {
        if (!Need(1, what))
            return nullptr;
        int n = S8();
        if (n < 0) {
            _PDebug("P3DAnim: %s has a length of %d\n", what, n);
            return nullptr;
        }
        if (!Need(unsigned(n), what))
            return nullptr;
        char* s = static_cast<char*>(PAlloc(n + 1));
        if (!s)
            return nullptr;
        for (int i = 0; i < n; i++) {
            s[i] = char(m_data[m_pos + i]);
            if (!s[i]) {
                _PDebug("P3DAnim: %s holds a zero byte\n", what);
                PFree(s);
                return nullptr;
            }
        }
        s[n] = 0;
        m_pos += unsigned(n);
        if (lengthOut)
            *lengthOut = n;
        return s;
    }

private:
    const uint8_t* m_data;
    unsigned m_size;
    unsigned m_pos = 0;
};

// A mesh name names a file in the mesh directory and nothing else.
bool MeshNameAllowed(const char* s)
{
    for (const char* p = s; *p; p++) {
        if (*p == '/' || *p == '\\')
            return false;
        if (p[0] == '.' && p[1] == '.')
            return false;
    }
    return true;
}

} // namespace

int P3DAnim::Parse(const uint8_t* data, unsigned size)
{
    Cursor c(data, size);
    if (!c.Need(3, "the header"))
        return 0;
    if (c.U8() != kMagic) {
        _PDebug("P3DAnim: not a scene file (first byte 0x%02x)\n", data[0]);
        return 0;
    }
    fileFPS = fps = c.S8();
    cameraFPS = cameraFileFPS = fileFPS;

    int meshCount = c.S8();
    if (meshCount < 0) {
        _PDebug("P3DAnim: mesh count %d\n", meshCount);
        return 0;
    }
    m_meshNames = static_cast<char**>(PAllocZ(meshCount * int(sizeof(char*))));
    if (!m_meshNames)
        return 0;
    m_meshCount = meshCount;
    for (int i = 0; i < meshCount; i++) {
        m_meshNames[i] = c.String("a mesh name", nullptr);
        if (!m_meshNames[i])
            return 0;
        if (!MeshNameAllowed(m_meshNames[i])) {
            _PDebug("P3DAnim: mesh name \"%s\" is not a plain file name\n", m_meshNames[i]);
            return 0;
        }
    }

    if (!c.Need(1, "the sky-box flag"))
        return 0;
    skyboxFlag = c.U8();
    if (skyboxFlag) {
        if (!c.Need(1, "the sky-box count"))
            return 0;
        int n = c.S8();
        if (n < 0) {
            _PDebug("P3DAnim: sky-box count %d\n", n);
            return 0;
        }
        if (!c.Need(unsigned(n) * 4, "the sky-box list"))
            return 0;
        skyboxModels = static_cast<int32_t*>(PAlloc(n * 4));
        if (!skyboxModels)
            return 0;
        skyboxCount = int8_t(n);
        for (int i = 0; i < n; i++)
            skyboxModels[i] = c.I32();
    }

    if (!c.Need(4, "the model count"))
        return 0;
    int32_t m = c.I32();
    if (m < 0 || m > kMaxModels) {
        _PDebug("P3DAnim: model count %d (0 to %d allowed)\n", m, kMaxModels);
        return 0;
    }
    if (c.Left() / kMinModelRecord < unsigned(m)) {
        _PDebug("P3DAnim: %d models cannot fit in the %u bytes left\n", m, c.Left());
        return 0;
    }
    models = static_cast<P3DModel**>(PAllocZ(m * int(sizeof(P3DModel*))));
    if (!models)
        return 0;
    for (int i = 0; i < m; i++) {
        P3DModel* model = new P3DModel();
        if (!model)
            return 0;
        models[i] = model;
        modelCount = i + 1;
        model->anim = this;
        if (!c.Need(4, "a model record"))
            return 0;
        unsigned hi = c.U8();
        model->flags = hi << 8 | c.U8(); // big-endian
        model->meshIndex = c.S8();
        model->parent = c.S8();
        if (model->meshIndex < -1 || model->meshIndex >= meshCount) {
            _PDebug("P3DAnim: model %d uses mesh %d of %d\n", i, model->meshIndex, meshCount);
            return 0;
        }
        if (model->parent < -1 || model->parent >= m || model->parent == i) {
            _PDebug("P3DAnim: model %d has parent %d of %d models\n", i, model->parent, m);
            return 0;
        }
        for (auto& t : model->tracks)
            if (!c.Track(t, "a model"))
                return 0;
        if (model->IsBoxColl())
            for (auto& t : model->size)
                if (!c.Track(t, "a model's box size"))
                    return 0;
        if (model->IsDissolve()) {
            if (!c.Need(4, "a model's dissolve alpha"))
                return 0;
            model->dissolveAlpha = c.I32();
        } else if (model->IsDissolveEnvelope()) {
            if (!c.Track(model->envelope, "a model's dissolve envelope"))
                return 0;
        }
        RefreshAllTransitionsForModel(model, 0);
        if (model->IsBlended())
            blendedCount++;
    }
    for (int i = 0; i < skyboxCount; i++)
        if (skyboxModels[i] < 0 || skyboxModels[i] >= m) {
            _PDebug("P3DAnim: sky-box entry %d names model %d of %d\n", i, skyboxModels[i], m);
            return 0;
        }

    if (!c.Need(1, "the areas flag"))
        return 0;
    uint8_t areasFlag = c.U8();
    areasPresent = modelClipByArea = drawNearest = areasFlag;
    if (areasFlag) {
        if (!c.Need(4, "the area size"))
            return 0;
        areaSize = c.I32();
    }

    if (!c.Need(4, "the null count"))
        return 0;
    int32_t k = c.I32();
    if (k < 0 || c.Left() / kMinNullRecord < unsigned(k)) {
        _PDebug("P3DAnim: null count %d with %u bytes left\n", k, c.Left());
        return 0;
    }
    nulls = static_cast<P3DNullPoint**>(PAllocZ(k * int(sizeof(P3DNullPoint*))));
    if (!nulls)
        return 0;
    for (int i = 0; i < k; i++) {
        P3DNullPoint* n = new P3DNullPoint(this);
        if (!n)
            return 0;
        nulls[i] = n;
        nullCount = i + 1;
        int len = 0;
        char* name = c.String("a null name", &len);
        if (!name)
            return 0;
        n->name = name;
        n->nameLength = uint8_t(len);
        for (auto& t : n->tracks)
            if (!c.Track(t, "a null point"))
                return 0;
        if (!c.Need(4, "a null's linked model"))
            return 0;
        n->linkedModel = c.I32();
        if (n->linkedModel < -1 || n->linkedModel >= m) {
            _PDebug("P3DAnim: null \"%s\" rides on model %d of %d\n", name, n->linkedModel, m);
            return 0;
        }
        n->RefreshTransition(0);
    }

    if (!c.Need(1, "the camera flag"))
        return 0;
    if (c.U8()) {
        cameraPresent = 1;
        if (!c.Need(1, "the camera"))
            return 0;
        cameraByte = c.S8();
        for (int i = 0; i < 6; i++)
            if (!c.Track(camera.tracks[i], "the camera"))
                return 0;
        if (!c.Need(1, "the camera's field of view"))
            return 0;
        fovConstant = c.U8();
        if (fovConstant) {
            if (!c.Need(4, "the camera's field of view"))
                return 0;
            constFov = c.I32();
        } else if (!c.Track(camera.tracks[P3DCamera::kTrackFov], "the camera's field of view")) {
            return 0;
        }
    }

    if (!c.Need(1, "the triggers flag"))
        return 0;
    if (c.U8()) {
        if (!c.Need(4, "the trigger count"))
            return 0;
        int t = int16_t(uint16_t(uint32_t(c.I32())));
        if (t < 0 || c.Left() / kMinTriggerRecord < unsigned(t)) {
            _PDebug("P3DAnim: trigger count %d with %u bytes left\n", t, c.Left());
            return 0;
        }
        triggers = static_cast<P3DTrigger**>(PAllocZ(t * int(sizeof(P3DTrigger*))));
        if (!triggers)
            return 0;
        for (int i = 0; i < t; i++) {
            P3DTrigger* tr = new P3DTrigger();
            if (!tr)
                return 0;
            triggers[i] = tr;
            triggerCount = int16_t(i + 1);
            tr->name = c.String("a trigger name", nullptr);
            if (!tr->name)
                return 0;
            for (int j = 0; j < 3; j++)
                if (!c.Track(tr->tracks[j], "a trigger"))
                    return 0;
            if (!c.Need(1, "a trigger's radius"))
                return 0;
            tr->constRadiusFlag = c.U8();
            if (tr->constRadiusFlag) {
                if (!c.Need(4, "a trigger's radius"))
                    return 0;
                tr->constRadius = c.I32();
            } else if (!c.Track(tr->tracks[P3DTrigger::kTrackRadius], "a trigger's radius")) {
                return 0;
            }
            tr->RefreshTransitions(0);
        }
    }
    return 1;
}

int P3DAnim::BuildParentChains()
{
    for (int i = 0; i < modelCount; i++) {
        P3DModel* m = models[i];
        PFree(m->chain);
        m->chain = nullptr;
        m->chainLength = 0;
        int n = 0;
        for (int p = m->parent; p >= 0; p = models[p]->parent)
            if (++n > modelCount) {
                _PDebug("P3DAnim: the parents of model %d form a cycle\n", i);
                return 0;
            }
        if (!n)
            continue;
        m->chain = static_cast<int32_t*>(PAlloc(n * 4));
        if (!m->chain)
            return 0;
        int k = 0;
        for (int p = m->parent; p >= 0; p = models[p]->parent)
            m->chain[k++] = p;
        m->chainLength = n;
    }
    return 1;
}

int P3DAnim::LoadMeshes(char** names, int count, PString** textureDirs, unsigned char dirCount, const char* meshDir,
                        PTextureManager* tm, PMesh** meshes)
{
    for (int i = 0; i < count; i++) {
        char path[PFile::kOpenPathMax];
        if (!P3DMakeMeshPath(path, sizeof path, meshDir, names[i], "", 0))
            continue;
        // The collision mesh is never drawn.
        if (PStrCmp(path, "data\\objects\\coll.pof") == 0 || dirCount == 0)
            continue;
        for (int attempt = 0; attempt < 3 && !meshes[i]; attempt++) {
            if (attempt)
                PSleep(40);
            for (int d = 0; d < dirCount && !meshes[i]; d++) {
                // A miss before the last folder of the last attempt is no
                // failure yet: only the final try reports its cause.
                PDebugMute quiet(attempt < 2 || d + 1 < dirCount);
                meshes[i] = P3DMeshLoad(path, tm, textureDirs[d] ? textureDirs[d]->c_str() : "");
            }
        }
        if (!meshes[i])
            _PDebug("P3DAnim: mesh \"%s\" not loaded\n", path);
    }
    return 1;
}

int P3DAnim::LoadFromMemory(const uint8_t* data, unsigned size, PString** textureDirs, unsigned char textureDirCount,
                            const char* meshDir, PTextureManager* tm, PMesh**& meshesOut, char**& namesOut,
                            int* meshCountOut)
{
    meshesOut = nullptr;
    namesOut = nullptr;
    if (meshCountOut)
        *meshCountOut = 0;
    Release();
    if (!data || size < 1) {
        _PDebug("P3DAnim: empty scene\n");
        return 0;
    }
    if (!Parse(data, size) || !BuildParentChains()) {
        Release();
        return 0;
    }
    // With a camera the scene's own camera sets the view; it starts paused
    // on its first frame.
    if (cameraPresent) {
        useCamera = 1;
        useFovEnvelope = 1;
        cameraPaused = 1;
        SetCameraLoop(0, 1);
    } else {
        useCamera = 0;
    }

    PMesh** meshes = static_cast<PMesh**>(PAllocZ(m_meshCount * int(sizeof(PMesh*))));
    if (!meshes) {
        Release();
        return 0;
    }
    LoadMeshes(m_meshNames, m_meshCount, textureDirs, textureDirCount, meshDir, tm, meshes);
    if (areasPresent && (!GenerateAreas(meshes, m_meshCount) || !BuildAreaLookups())) {
        for (int i = 0; i < m_meshCount; i++)
            P3DMeshDelete(meshes[i]);
        PFree(meshes);
        Release();
        return 0;
    }

    currentFrame = 0;
    direction = 1;
    paused = 0;
    hold = 0;
    cameraDirection = 1;
    cameraFreeDrawing = 0;
    holdCamera = 0;
    for (int i = 0; i < modelCount; i++)
        models[i]->anim = this;
    GeneratePtrsToBgModels();

    meshesOut = meshes;
    namesOut = m_meshNames;
    if (meshCountOut)
        *meshCountOut = m_meshCount;
    m_meshNames = nullptr;
    m_meshCount = 0;
    return 1;
}

int P3DAnim::LoadFromFile(const char* path, PString** textureDirs, unsigned char textureDirCount, const char* meshDir,
                          PTextureManager* tm, PMesh**& meshesOut, char**& namesOut, int* meshCountOut)
{
    meshesOut = nullptr;
    namesOut = nullptr;
    if (meshCountOut)
        *meshCountOut = 0;
    PFile f(path, PFile::kRead);
    if (!f.IsOpen()) {
        _PDebug("P3DAnim: cannot open \"%s\"\n", path ? path : "");
        return 0;
    }
    long size = f.Size();
    if (size < 1 || size > INT_MAX) {
        _PDebug("P3DAnim: \"%s\" has size %ld\n", path, size);
        return 0;
    }
    auto* buf = static_cast<uint8_t*>(PAllocZ(int(size)));
    if (!buf)
        return 0;
    long got = 0;
    while (got < size) {
        int n = f.Read(buf + got, int(size - got));
        if (n <= 0)
            break;
        got += n;
    }
    f.Close();
    int ok = 0;
    if (got != size)
        _PDebug("P3DAnim: read %ld of %ld bytes of \"%s\"\n", got, size, path);
    else
        ok = LoadFromMemory(buf, unsigned(size), textureDirs, textureDirCount, meshDir, tm, meshesOut, namesOut,
                            meshCountOut);
    PFree(buf);
    if (!ok)
        _PDebug("P3DAnim: scene \"%s\" not loaded\n", path);
    return ok;
}
