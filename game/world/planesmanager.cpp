#include "game/world/planesmanager.h"

#include <cstring>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/ptext.h"
#include "game/scene/p3dgameengine.h"
#include "game/world/myairplane.h"
#include "game/world/planescene.h"

namespace {

// Byte offsets, from the end of the name line, of the three digit fields
// and of the first engine rate; each of lines 2 to 4 ends in CR LF at a
// fixed place.
constexpr int kArmourAt = 8, kArmourLineEnd = 10;
constexpr int kSpeedAt = 17, kSpeedLineEnd = 19;
constexpr int kPresetAt = 29, kPresetLineEnd = 31;
constexpr int kRate1At = 32;
constexpr char kReuse[] = "REUSE=";
constexpr int kReuseLength = 6;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The sequential reader of a definition file: every failure logs what was
// wrong and where.
class Reader {
public:
    Reader(const char* d, int n) : data(d), size(n) {}

    bool Fail(const char* what)
    {
        _PDebug("PlanesManager: definition refused: %s (byte %d)\n", what, pos);
        return false;
    }
    // A line of at most max characters.
    bool Line(std::string& out, int max, const char* what, bool nonEmpty = false)
    {
        char buf[PlanesManager::kMaxFolder + 1];
        if (pos >= size)
            return Fail(what);
        int n = PlanesManager::ReadNextLine(data, pos, size, buf, max + 1);
        if (n < 0)
            return Fail("a line is too long");
        if (nonEmpty && n == 0)
            return Fail(what);
        out.assign(buf, size_t(n));
        return true;
    }
    // A line holding one digit no larger than max.
    bool Count(int& out, int max, const char* what)
    {
        std::string s;
        if (!Line(s, PlanesManager::kMaxLine, what))
            return false;
        if (s.size() != 1 || !IsDigit(s[0]) || s[0] - '0' > max)
            return Fail(what);
        out = s[0] - '0';
        return true;
    }
    // Moves past the next occurrence of text; false when there is none.
    bool Seek(const char* text, int len)
    {
        for (int i = pos; i + len <= size; i++)
            if (std::memcmp(data + i, text, size_t(len)) == 0) {
                pos = i + len;
                return true;
            }
        return false;
    }

    const char* data;
    int size;
    int pos = 0;
};

// An engine rate: empty gives the default, otherwise a positive decimal.
bool ParseRate(Reader& r, const std::string& text, int32_t fallback, int32_t& out)
{
    if (text.empty()) {
        out = fallback;
        return true;
    }
    for (char c : text)
        if (!IsDigit(c))
            return r.Fail("an engine rate is not a decimal number");
    char* end = nullptr;
    int v = PAtoi(text.c_str(), &end, 10);
    if (v <= 0 || text.size() > 9)
        return r.Fail("an engine rate is out of range");
    out = v;
    return true;
}

// The four model names of an aircraft or a level.
bool ReadModelNames(Reader& r, PlaneConfig& c)
{
    return r.Line(c.gunfire, PlanesManager::kMaxLine, "the gun-fire model is missing") &&
           r.Line(c.flapLeft, PlanesManager::kMaxLine, "the left flap model is missing") &&
           r.Line(c.flapRight, PlanesManager::kMaxLine, "the right flap model is missing") &&
           r.Line(c.rudder, PlanesManager::kMaxLine, "the rudder model is missing");
}

bool ReadNulls(Reader& r, PlaneConfig& c)
{
    int m = 0;
    if (!r.Count(m, PlaneConfig::kMaxRotorNulls, "the rotor null-point count is not a digit from 0 to 4"))
        return false;
    c.rotorNulls.resize(size_t(m));
    for (auto& s : c.rotorNulls)
        if (!r.Line(s, PlanesManager::kMaxLine, "a rotor null-point name is missing", true))
            return false;
    return true;
}

} // namespace

void PlaneConfig::SetLodsCount(int n)
{
    lods.clear();
    for (int i = 0; i < n; i++)
        lods.push_back(std::make_unique<PlaneConfig>());
}

PlanesManager::PlanesManager(P3DGameEngine* e) : engine(e) {}

PlanesManager::~PlanesManager() = default;

int PlanesManager::ReadNextLine(const char* buffer, int& pos, int size, char* out, int outSize)
{
    int end = pos;
    while (end < size && buffer[end] != '\n')
        end++;
    int n = end - pos;
    if (n > 0 && buffer[end - 1] == '\r')
        n--;
    if (n > outSize - 1)
        return -1;
    std::memcpy(out, buffer + pos, size_t(n));
    out[n] = 0;
    pos = end < size ? end + 1 : end;
    return n;
}

int PlanesManager::IsReuse(const char* buffer, int& pos, int size)
{
    if (pos < 0 || pos + kReuseLength + 1 > size || std::memcmp(buffer + pos, kReuse, kReuseLength) != 0 ||
        !IsDigit(buffer[pos + kReuseLength]))
        return -1;
    int i = buffer[pos + kReuseLength] - '0';
    while (pos < size && buffer[pos] != '\n')
        pos++;
    if (pos < size)
        pos++;
    return i;
}

std::unique_ptr<PlaneConfig> PlanesManager::ParseConfig(const char* data, int size)
{
    if (!data || size <= 0) {
        _PDebug("PlanesManager: definition refused: empty\n");
        return nullptr;
    }
    auto c = std::make_unique<PlaneConfig>();
    Reader r(data, size);
    if (!r.Line(c->name, kMaxLine, "the name line is missing", true))
        return nullptr;
    int lf = r.pos - 1;
    if (data[lf] != '\n' || lf + kPresetLineEnd >= size) {
        r.Fail("the file ends before the ratings");
        return nullptr;
    }
    for (int e : {kArmourLineEnd, kSpeedLineEnd, kPresetLineEnd})
        if (data[lf + e - 1] != '\r' || data[lf + e] != '\n') {
            r.pos = lf + e;
            r.Fail("a rating line is not of its fixed length");
            return nullptr;
        }
    char a = data[lf + kArmourAt], s = data[lf + kSpeedAt], p = data[lf + kPresetAt];
    if (!IsDigit(a) || !IsDigit(s) || !IsDigit(p)) {
        r.Fail("a rating is not a digit");
        return nullptr;
    }
    c->armour = int8_t(a - '0');
    c->speed = int8_t(s - '0');
    c->preset = p - '0';
    r.pos = lf + kRate1At;
    std::string rate1, rate2, scene;
    if (!r.Line(rate1, kMaxLine, "the first engine rate is missing") ||
        !r.Line(rate2, kMaxRate, "the second engine rate is missing") ||
        !ParseRate(r, rate1, PlaneConfig::kDefaultRate1, c->engineRate1) ||
        !ParseRate(r, rate2, PlaneConfig::kDefaultRate2, c->engineRate2) ||
        !r.Line(c->folder, kMaxFolder, "the folder line is missing") ||
        !r.Line(scene, kMaxLine, "the scene file name is missing", true))
        return nullptr;
    std::string scenes = c->folder + "scenes\\";
    c->modelsPath = c->folder + "models\\";
    c->scenePath = scenes + scene;
    int n = 0;
    if (!r.Count(n, PlaneConfig::kMaxRotors, "the rotor file count is not a digit from 0 to 3"))
        return nullptr;
    for (int i = 0; i < n; i++) {
        std::string f;
        if (!r.Line(f, kMaxLine, "a rotor file name is missing", true))
            return nullptr;
        c->rotorPaths.push_back(scenes + f);
        c->rotorReuse.push_back(-1);
    }
    if (!ReadNulls(r, *c) || !ReadModelNames(r, *c))
        return nullptr;
    if (!r.Seek("LODS=", 5)) {
        r.Fail("\"LODS=\" is missing");
        return nullptr;
    }
    if (r.pos >= size || !IsDigit(data[r.pos])) {
        r.Fail("the level-of-detail count is not a digit");
        return nullptr;
    }
    int d = data[r.pos++] - '0';
    c->SetLodsCount(d);
    for (int k = 1; k <= d; k++) {
        PlaneConfig& l = *c->lods[size_t(k - 1)];
        char marker[5] = {'L', 'O', 'D', char('0' + k), 0};
        std::string rest, file;
        if (!r.Seek(marker, 4)) {
            r.Fail("a level-of-detail block is missing");
            return nullptr;
        }
        if (!r.Line(rest, kMaxLine, "a level-of-detail marker ends the file") || !rest.empty()) {
            r.Fail("a level-of-detail marker line holds more than its marker");
            return nullptr;
        }
        if (!r.Line(file, kMaxLine, "a level-of-detail scene file name is missing", true))
            return nullptr;
        l.folder = c->folder;
        l.scenePath = scenes + file;
        int rc = 0;
        if (!r.Count(rc, PlaneConfig::kMaxRotors, "a level's rotor count is not a digit from 0 to 3"))
            return nullptr;
        for (int i = 0; i < rc; i++) {
            int at = r.pos;
            if (r.pos + kReuseLength <= size && std::memcmp(data + r.pos, kReuse, kReuseLength) == 0) {
                int reuse = IsReuse(data, r.pos, size);
                if (reuse < 0 || reuse >= n || r.pos - at > kReuseLength + 3) {
                    r.pos = at;
                    r.Fail("a REUSE line names no rotor of the aircraft");
                    return nullptr;
                }
                l.rotorPaths.push_back(c->rotorPaths[size_t(reuse)]);
                l.rotorReuse.push_back(int8_t(reuse));
                continue;
            }
            if (!r.Line(file, kMaxLine, "a level's rotor file name is missing", true))
                return nullptr;
            l.rotorPaths.push_back(scenes + file);
            l.rotorReuse.push_back(-1);
        }
        if (!ReadNulls(r, l) || !ReadModelNames(r, l))
            return nullptr;
    }
    return c;
}

int PlanesManager::LoadPlaneCfgFile(const char* path)
{
    PFile f(path, PFile::kRead);
    if (!f.IsOpen())
        return 0;
    std::vector<char> data;
    char chunk[4096];
    for (;;) {
        int got = f.Read(chunk, int(sizeof chunk));
        if (got <= 0)
            break;
        if (int(data.size()) + got > kMaxFileSize) {
            _PDebug("PlanesManager: %s is larger than %d bytes\n", path, kMaxFileSize);
            return 0;
        }
        data.insert(data.end(), chunk, chunk + got);
    }
    f.Close();
    if (data.empty())
        return 0;
    std::unique_ptr<PlaneConfig> c = ParseConfig(data.data(), int(data.size()));
    if (!c) {
        _PDebug("PlanesManager: %s not loaded\n", path);
        return 0;
    }
    std::string textures = c->folder + "textures\\";
    auto load = [&](const std::string& scene) {
        return engine ? engine->AddSceneFromFile(scene.c_str(), textures.c_str(), c->modelsPath.c_str()) : 0;
    };
    c->sceneIndex = load(c->scenePath);
    for (const std::string& rp : c->rotorPaths)
        c->rotorScenes.push_back(load(rp));
    for (auto& l : c->lods) {
        l->sceneIndex = load(l->scenePath);
        for (size_t i = 0; i < l->rotorPaths.size(); i++) {
            int reuse = l->rotorReuse[i];
            l->rotorScenes.push_back(reuse >= 0 ? c->rotorScenes[size_t(reuse)] : load(l->rotorPaths[i]));
        }
        l->scenePath.clear(); // a level keeps only its scene index
    }
    AddPlane(std::move(c));
    return 1;
}

int PlanesManager::LoadPlaneCfgFiles(const char* dir, const char* prefix, const char* suffix)
{
    int loaded = 0;
    for (int n = 1;; n++) {
        char num[16];
        PItoa(num, n);
        std::string path = std::string(dir ? dir : "") + (prefix ? prefix : "") + num + (suffix ? suffix : "");
        if (!LoadPlaneCfgFile(path.c_str()))
            break;
        loaded++;
    }
    return loaded;
}

void PlanesManager::AddPlane(std::unique_ptr<PlaneConfig> config)
{
    if (config)
        configs.push_back(std::move(config));
}

void PlanesManager::RemoveAllPlaneConfigs()
{
    configs.clear();
}

int PlanesManager::GetIndexOfPlaneScene(int i) const
{
    PlaneConfig* c = Get(i);
    return c ? c->sceneIndex : -1;
}

namespace {

// The rotor scene of a variant, falling back to the first; -1 when there
// is none.
int RotorScene(const PlaneConfig& c, int variant)
{
    if (c.rotorScenes.empty())
        return -1;
    return c.rotorScenes[variant >= 0 && variant < int(c.rotorScenes.size()) ? size_t(variant) : 0];
}

void BuildParts(P3DGameEngine* engine, PlaneScene& ps, const PlaneConfig& c, int sceneIndex, P3DAnim* level,
                const char* nullName, const PVector3& position, const PVector3& angles, int variant)
{
    ps.SetScene(engine, sceneIndex);
    ps.AddUnit(engine, level, nullName, position, angles);
    int rotor = RotorScene(c, variant);
    if (rotor >= 0)
        for (const std::string& n : c.rotorNulls)
            ps.AddRotor(engine, rotor, n.c_str());
    ps.DefineFlapLeft(engine, c.flapLeft.c_str());
    ps.DefineFlapRight(engine, c.flapRight.c_str());
    ps.DefineRudder(engine, c.rudder.c_str());
    ps.DefineGunFires(engine, c.gunfire.c_str());
}

} // namespace

int PlanesManager::SetNewPlaneOnScene(int i, PlaneScene* ps, P3DAnim* level, const char* nullName,
                                      const PVector3& position, const PVector3& angles, int variant)
{
    PlaneConfig* c = Get(i);
    if (!c || !ps)
        return 0;
    int lodCount = int(c->lods.size());
    ps->SetLodsScenes(lodCount);
    for (int k = 0; k < lodCount; k++) {
        ps->SetLODchangeDistance(k, PlaneScene::kLodStep * (k + 1));
        const PlaneConfig& l = *c->lods[size_t(k)];
        BuildParts(engine, *ps->lods[size_t(k)], l, l.sceneIndex, level, nullName, position, angles, variant);
    }
    BuildParts(engine, *ps, *c, GetIndexOfPlaneScene(i), level, nullName, position, angles, variant);
    ps->armour = c->armour;
    ps->speed = c->speed;
    ps->preset = int8_t(c->preset);
    ps->engineRate1 = c->engineRate1;
    ps->engineRate2 = c->engineRate2;
    return 1;
}

void PlanesManager::UpdateAirplaneData(MyAirplane* plane) const
{
    if (!plane || !plane->model)
        return;
    plane->speedRating = plane->model->speed;
    plane->armour = plane->model->armour;
    int preset = plane->model->preset;
    plane->configPreset(preset < 0 ? 0 : preset > 3 ? 3 : preset);
}
