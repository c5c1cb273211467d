// SPLM: what a mission's header brings besides its objects: the images it
// numbers (radar pictures of its objects) and the intro camera with the
// texts shown at its frames.
#include <algorithm>
#include <cstdint>
#include <new>

#include "engine/graphics/psurface3d.h"
#include "engine/runtime/pdebug.h"
#include "game/frontend/fonts.h"
#include "game/world/scriptreader.h"
#include "game/world/splevelmanager.h"

namespace {

// The first value of a line of a block as a number (integer or boolean);
// false when the block or line is missing.
bool NumberOf(Definition* block, char const* keyword, int& out)
{
    bool flag = false;
    int number = 0;
    PString* text = nullptr;
    ConfigLine* l = block ? block->GetConfigLine(keyword) : nullptr;
    if (!l || !SPLM::Get_commandLine(block, keyword, number, text, flag))
        return false;
    out = l->GetValueType(0) == TYPE_BOOLEAN ? int(flag) : number;
    return true;
}

} // namespace

PSurface3D* SPLM::AddGfxImage(const char* path)
{
    PSurface3D* image = path ? PSurface3D::CreateFromFile(m_gl, path, 1) : nullptr;
    if (!image)
        _PDebug("SPLM: mission image %s did not load\n", path ? path : "(none)");
    m_images.push_back(image);
    return image;
}

PSurface3D* SPLM::GetGfxImagePtr(unsigned char i) const
{
    return i < m_images.size() ? m_images[i] : nullptr;
}

void SPLM::LoadImagesDefinedInHeader(ScriptReader* reader)
{
    PString** paths = nullptr;
    unsigned char count = 0;
    // String values only: the paths are the script's own, nothing to free.
    GetArrayStringsFromHeader(nullptr, reader, paths, count, "header", "gfx", "path");
    for (int i = 0; i < count; i++)
        AddGfxImage(paths[i] ? paths[i]->c_str() : nullptr);
    delete[] paths;
}

void SPLM::ReleaseGfxImages()
{
    for (PSurface3D* image : m_images)
        delete image;
    m_images.clear();
}

void SPLM::LoadVirtualDebriefFromHeader(Fonts* fonts, ScriptReader* reader)
{
    m_virtualDebrief = 0;
    m_vdTexts.clear();
    m_vdCurrent = 0;
    Definition* header = reader ? reader->GetDefinition("header") : nullptr;
    if (!header)
        return;
    int on = 0;
    if (NumberOf(header, "virtualDebrief", on) && on) {
        m_virtualDebrief = 1;
        NumberOf(header, "cameraStart", m_cameraStart);
        NumberOf(header, "cameraEnd", m_cameraEnd);
        NumberOf(header, "cameraFPS", m_cameraFPS);
    }
    ConfigLine* list = header->GetConfigLine("vdTxt");
    // A line that is no array has no texts; elements are indexed by 16 bits.
    int n = list && list->definitionRef ? std::min(list->definitionRef->ArrayCount(), int(INT16_MAX)) : 0;
    if (n <= 0)
        return;
    m_vdTexts.resize(size_t(n));
    for (int i = 0; i < n; i++) {
        Definition* e = list->definitionRef->GetArrayDefinition(int16_t(i));
        TimedText& t = m_vdTexts[size_t(i)];
        int id = 0;
        if (NumberOf(e, "txt", id) && fonts)
            t.text = fonts->GetStr(unsigned(id));
        NumberOf(e, "begin", t.begin);
        NumberOf(e, "end", t.end);
    }
}

const wchar_t* SPLM::GetNextVDText(int time)
{
    if (m_vdTexts.empty() || m_vdCurrent < 0 || size_t(m_vdCurrent) >= m_vdTexts.size())
        return nullptr;
    const TimedText& t = m_vdTexts[size_t(m_vdCurrent)];
    if (t.begin <= time && time <= t.end)
        return t.text;
    if (size_t(m_vdCurrent) + 1 < m_vdTexts.size() && time > t.end)
        m_vdCurrent++;
    return nullptr;
}
