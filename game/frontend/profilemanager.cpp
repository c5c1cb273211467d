// The profile list and its files. The screens are in profilescreens.cpp.
#include "game/frontend/profilemanager.h"

#include <cstring>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/psprintf.h"
#include "game/frontend/fonts.h"

namespace {

constexpr char kListFile[] = "usr/profiles.cfg";
constexpr char kListTemp[] = "usr/profiles_tmp.cfg";
constexpr char kBonusNick[] = "ZUNK";
// Unlock counts the hidden nickname adds (campaigns 0-2, time attack) and
// the medals it awards.
constexpr uint8_t kBonusUnlocks[Profile::kUnlockGroups] = {3, 4, 4, 3};
constexpr int kBonusMedals = 4;
constexpr unsigned kRankTextBase = 111;

} // namespace

void ProfileManager::ProfileFileName(int i, char* out, int size) { PSnprintf(out, size, "usr/profile_%d", i); }

void ProfileManager::ClearProfiles()
{
    for (Profile* p : m_profiles)
        delete p;
    m_profiles.clear();
    m_current = 0;
}

void ProfileManager::InitProfiles()
{
    m_firstRun = 0;
    if (!LoadProfiles())
        m_firstRun = 1;
}

int ProfileManager::LoadProfiles()
{
    PFile f(kListFile, PFile::kRead);
    if (!f.IsOpen())
        return 0;
    uint8_t list[kListSize] = {};
    const int n = f.Read(list, kListSize);
    f.Close();
    ClearProfiles();
    int count = n == kListSize ? list[0] : 0;
    int current = list[1];
    if (count > kMaxProfiles) {
        _PDebug("profiles: the list holds %d profiles; the first %d are read\n", count, kMaxProfiles);
        count = kMaxProfiles;
    }
    if (count == 0)
        return 0;
    if (current >= count) {
        _PDebug("profiles: current profile %d of %d; profile 0 is current\n", current, count);
        current = 0;
    }
    char name[32];
    for (int i = 0; i < count; ++i) {
        Profile* p = new Profile();
        p->SetLevelsGroupPtr(m_groups, m_groupCount);
        ProfileFileName(i, name, sizeof name);
        if (!p->Load(name))
            _PDebug("profiles: %s not loaded; a fresh profile takes its place\n", name);
        m_profiles.push_back(p);
    }
    m_current = uint8_t(current);
    return 1;
}

int ProfileManager::SaveProfiles()
{
    const uint8_t list[kListSize] = {uint8_t(m_profiles.size()), m_current};
    int ok = 0;
    {
        PFile f;
        if (f.Open(kListTemp, PFile::kWrite | PFile::kCreate | PFile::kTruncate) != 0 || !f.IsOpen()) {
            _PDebug("profiles: %s could not be created\n", kListTemp);
            return 0;
        }
        ok = f.Write(list, kListSize) == kListSize;
    }
    if (!ok || PFile::Rename(kListTemp, kListFile) != 0) {
        _PDebug("profiles: the list could not be written\n");
        PFile::Delete(kListTemp);
        return 0;
    }
    char name[32];
    for (size_t i = 0; i < m_profiles.size(); ++i) {
        ProfileFileName(int(i), name, sizeof name);
        if (!m_profiles[i]->Save(name)) {
            // Without all its files the list is worthless: the next start is
            // a first run.
            PFile::Delete(kListFile);
            return 0;
        }
    }
    return 1;
}

void ProfileManager::ApplyBonus(Profile* p)
{
    const PString& nick = p->GetNick(Profile::kSinglePlayer);
    if (nick.Length() != sizeof kBonusNick - 1 || std::memcmp(nick.Data(), kBonusNick, nick.Length()) != 0)
        return;
    for (int g = 0; g < Profile::kUnlockGroups; ++g) {
        const int v = p->GetUnlocked(g) + kBonusUnlocks[g];
        p->UnlockLevel(uint8_t(v > 0xFF ? 0xFF : v), g);
    }
    for (int m = 0; m < kBonusMedals; ++m)
        p->AddMedal(m);
}

int ProfileManager::AddProfile(Profile* profile)
{
    if (!profile)
        return 0;
    if (Count() >= kMaxProfiles) {
        _PDebug("profiles: the list is full\n");
        delete profile;
        return 0;
    }
    m_profiles.push_back(profile);
    m_current = uint8_t(m_profiles.size() - 1);
    ApplyBonus(profile);
    return 1;
}

void ProfileManager::RemoveProfile(uint8_t index)
{
    if (index >= m_profiles.size())
        return;
    delete m_profiles[index];
    m_profiles.erase(m_profiles.begin() + index);
    if (m_current == index)
        m_current = 0;
    else if (m_current > index)
        --m_current;
    // The last file number is no longer used; the others are rewritten at
    // the next save.
    char name[32];
    ProfileFileName(Count(), name, sizeof name);
    PFile::Delete(name);
}

int ProfileManager::TestProfileFiles() const
{
    int found = 0;
    char name[32];
    for (int i = 0; i <= Count(); ++i) {
        if (i < Count())
            ProfileFileName(i, name, sizeof name);
        PFile f(i < Count() ? name : kListFile, PFile::kRead);
        found += f.IsOpen() ? 1 : 0;
    }
    return found;
}

void ProfileManager::SetSPLevelsGroupPtr(LevelsGroup** groups, uint8_t count, LevelsGroup* timeAttack)
{
    m_groups = groups;
    m_groupCount = count;
    m_timeAttack = timeAttack;
    for (Profile* p : m_profiles)
        p->SetLevelsGroupPtr(groups, count);
}

const wchar_t* ProfileManager::GetTextOfRank(int rank) const
{
    if (rank < 0 || rank >= m_rankCount || !m_fonts)
        return nullptr;
    return m_fonts->GetStr(kRankTextBase + unsigned(rank));
}
