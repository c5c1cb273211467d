#include "tools/lib/pam_writer.h"

#include <algorithm>

#include "tools/lib/toolfile.h"

namespace {

void Put8(std::vector<uint8_t>& o, int v)
{
    o.push_back(uint8_t(v));
}

void PutBE16(std::vector<uint8_t>& o, unsigned v)
{
    o.push_back(uint8_t(v >> 8));
    o.push_back(uint8_t(v));
}

void PutString(std::vector<uint8_t>& o, std::string const& s)
{
    Put8(o, int(s.size()));
    o.insert(o.end(), s.begin(), s.end());
}

void PutTrack(std::vector<uint8_t>& o, PamTrack const& t)
{
    PutBE16(o, unsigned(t.keys.size()));
    for (auto const& k : t.keys) {
        PutLE32(o, uint32_t(k.first) << 16); // time: whole frames in 16.16
        PutLE32(o, k.second);
    }
}

bool Fail(std::string* err, std::string const& msg)
{
    if (err)
        *err = msg;
    return false;
}

bool CheckTrack(PamTrack const& t, std::string const& where, std::string* err)
{
    if (t.keys.size() > 65535)
        return Fail(err, where + ": more than 65535 keys");
    for (auto const& k : t.keys)
        if (k.first < -32768 || k.first > 32767)
            return Fail(err, where + ": key frame " + std::to_string(k.first) + " outside -32768..32767");
    return true;
}

bool CheckString(std::string const& s, std::string const& where, std::string* err)
{
    if (s.size() > 127)
        return Fail(err, where + ": name longer than 127 bytes");
    if (s.find('\0') != std::string::npos)
        return Fail(err, where + ": name holds a zero byte");
    return true;
}

void SortTrack(PamTrack& t)
{
    std::stable_sort(t.keys.begin(), t.keys.end(), [](auto const& a, auto const& b) { return a.first < b.first; });
}

} // namespace

bool PamCheck(PamScene const& s, std::string* err)
{
    if (s.fps < -128 || s.fps > 127)
        return Fail(err, "fps " + std::to_string(s.fps) + " outside -128..127");
    if (s.meshes.size() > 127)
        return Fail(err, "more than 127 meshes");
    for (auto const& m : s.meshes) {
        if (!CheckString(m, "mesh \"" + m + "\"", err))
            return false;
        if (m.find('/') != std::string::npos || m.find('\\') != std::string::npos ||
            m.find("..") != std::string::npos)
            return Fail(err, "mesh \"" + m + "\" is not a plain file name");
    }
    int nm = int(s.models.size());
    if (nm > 65535)
        return Fail(err, "more than 65535 models");
    if (s.skyboxModels.size() > 127)
        return Fail(err, "more than 127 sky-box models");
    if (!s.skybox && !s.skyboxModels.empty())
        return Fail(err, "sky-box models without the sky box");
    for (int32_t i : s.skyboxModels)
        if (i < 0 || i >= nm)
            return Fail(err, "sky-box model " + std::to_string(i) + " of " + std::to_string(nm));
    for (int i = 0; i < nm; i++) {
        PamModel const& m = s.models[i];
        std::string where = "model " + std::to_string(i);
        if (m.mesh < -1 || m.mesh >= int(s.meshes.size()))
            return Fail(err, where + ": mesh " + std::to_string(m.mesh) + " of " + std::to_string(s.meshes.size()));
        if (m.parent < -1 || m.parent >= nm || m.parent == i || m.parent > 127)
            return Fail(err, where + ": parent " + std::to_string(m.parent));
        for (auto const& t : m.tracks)
            if (!CheckTrack(t, where, err))
                return false;
        for (auto const& t : m.size)
            if (!CheckTrack(t, where, err))
                return false;
        if (!CheckTrack(m.envelope, where, err))
            return false;
        int steps = 0;
        for (int p = m.parent; p >= 0; p = s.models[p].parent)
            if (++steps > nm)
                return Fail(err, where + ": its parents form a cycle");
    }
    for (size_t i = 0; i < s.nulls.size(); i++) {
        PamNull const& n = s.nulls[i];
        std::string where = "null \"" + n.name + "\"";
        if (!CheckString(n.name, where, err))
            return false;
        if (n.link < -1 || n.link >= nm)
            return Fail(err, where + ": linked model " + std::to_string(n.link) + " of " + std::to_string(nm));
        for (auto const& t : n.tracks)
            if (!CheckTrack(t, where, err))
                return false;
    }
    if (s.camera) {
        if (s.cam.byte < -128 || s.cam.byte > 127)
            return Fail(err, "camera byte outside -128..127");
        for (auto const& t : s.cam.tracks)
            if (!CheckTrack(t, "camera", err))
                return false;
        if (!CheckTrack(s.cam.fovTrack, "camera", err))
            return false;
    }
    if (s.triggers.size() > 32767)
        return Fail(err, "more than 32767 triggers");
    for (auto const& t : s.triggers) {
        std::string where = "trigger \"" + t.name + "\"";
        if (!CheckString(t.name, where, err))
            return false;
        for (auto const& c : t.centre)
            if (!CheckTrack(c, where, err))
                return false;
        if (!CheckTrack(t.radiusTrack, where, err))
            return false;
    }
    return true;
}

bool PamWrite(PamScene s, std::vector<uint8_t>* out, std::string* err)
{
    for (int32_t i : s.skyboxModels)
        if (i >= 0 && size_t(i) < s.models.size())
            s.models[i].flags |= kPamSkybox;
    for (auto& m : s.models) {
        for (auto& t : m.tracks)
            SortTrack(t);
        for (auto& t : m.size)
            SortTrack(t);
        SortTrack(m.envelope);
    }
    for (auto& n : s.nulls)
        for (auto& t : n.tracks)
            SortTrack(t);
    for (auto& t : s.cam.tracks)
        SortTrack(t);
    SortTrack(s.cam.fovTrack);
    for (auto& t : s.triggers) {
        for (auto& c : t.centre)
            SortTrack(c);
        SortTrack(t.radiusTrack);
    }
    if (!PamCheck(s, err))
        return false;

    std::vector<uint8_t>& o = *out;
    o.clear();
    Put8(o, 0x84);
    Put8(o, s.fps);
    Put8(o, int(s.meshes.size()));
    for (auto const& m : s.meshes)
        PutString(o, m);
    Put8(o, s.skybox ? 1 : 0);
    if (s.skybox) {
        Put8(o, int(s.skyboxModels.size()));
        for (int32_t i : s.skyboxModels)
            PutLE32(o, i);
    }
    PutLE32(o, uint32_t(s.models.size()));
    for (auto const& m : s.models) {
        PutBE16(o, m.flags);
        Put8(o, m.mesh);
        Put8(o, m.parent);
        for (auto const& t : m.tracks)
            PutTrack(o, t);
        if (m.flags & kPamBoxColl)
            for (auto const& t : m.size)
                PutTrack(o, t);
        if (m.flags & kPamDissolve)
            PutLE32(o, m.dissolveAlpha);
        else if (m.flags & kPamDissolveEnvelope)
            PutTrack(o, m.envelope);
    }
    Put8(o, s.areas ? 1 : 0);
    if (s.areas)
        PutLE32(o, s.areaSize);
    PutLE32(o, uint32_t(s.nulls.size()));
    for (auto const& n : s.nulls) {
        PutString(o, n.name);
        for (auto const& t : n.tracks)
            PutTrack(o, t);
        PutLE32(o, n.link);
    }
    Put8(o, s.camera ? 1 : 0);
    if (s.camera) {
        Put8(o, s.cam.byte);
        for (auto const& t : s.cam.tracks)
            PutTrack(o, t);
        Put8(o, s.cam.fovConstant ? 1 : 0);
        if (s.cam.fovConstant)
            PutLE32(o, s.cam.fov);
        else
            PutTrack(o, s.cam.fovTrack);
    }
    Put8(o, s.triggers.empty() ? 0 : 1);
    if (!s.triggers.empty()) {
        PutLE32(o, uint32_t(s.triggers.size()));
        for (auto const& t : s.triggers) {
            PutString(o, t.name);
            for (auto const& c : t.centre)
                PutTrack(o, c);
            Put8(o, t.radiusConstant ? 1 : 0);
            if (t.radiusConstant)
                PutLE32(o, t.radius);
            else
                PutTrack(o, t.radiusTrack);
        }
    }
    return true;
}
