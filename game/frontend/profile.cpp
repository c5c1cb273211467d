#include "game/frontend/profile.h"

#include <cstring>
#include <vector>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "game/world/myutility.h"

namespace {

// The lowest score of each rank, and the end of the top rank, per mode.
constexpr uint32_t kRankEdges[Profile::kModes][Profile::kRanks + 1] = {
    {0, 700, 3000, 6200, 10000, 0xFFFFFF},
    {0, 60, 120, 200, 320, 0xFFFFFF},
};

// Field offsets of the profile file.
enum ProfileOffset : int {
    OFF_MEDALS = 0,
    OFF_KILLS = 1,
    OFF_PLAYTIME = 5,
    OFF_PLANE = 9,
    OFF_SCORE = 10, // single-player, then multiplayer
    OFF_RANK = 18,  // single-player, then multiplayer
    OFF_BEST = 20,
    OFF_UNLOCK_COUNT = 22,
    OFF_UNLOCKS = 23,
};

constexpr int kMaxString = 255;

uint8_t HeldRank(uint8_t r) { return r < Profile::kRanks ? r : uint8_t(Profile::kRanks - 1); }

uint32_t AddCapped(uint32_t a, uint32_t b, uint32_t cap) { return b > cap - (a < cap ? a : cap) ? cap : a + b; }

} // namespace

Profile::Profile() = default;
Profile::~Profile() = default;

void Profile::SetNick(const char* nick)
{
    m_nicks[0] = nick ? nick : "";
    m_nicks[1] = m_nicks[0];
}

void Profile::SetPass(const char* pass)
{
    m_passwords[0] = pass ? pass : "";
    m_passwords[1] = m_passwords[0];
}

uint8_t Profile::GetRankFromScores(uint32_t score, uint8_t mode)
{
    const uint32_t* edge = kRankEdges[Idx(mode)];
    for (int r = 0; r < kRanks - 1; ++r)
        if (score < edge[r + 1])
            return uint8_t(r);
    return kRanks - 1;
}

uint32_t Profile::RankEdge(uint8_t mode, int rank)
{
    if (rank < 0)
        rank = 0;
    if (rank >= kRanks)
        rank = kRanks - 1;
    return kRankEdges[Idx(mode)][rank];
}

void Profile::UpdateRanks()
{
    for (int m = 0; m < kModes; ++m)
        m_scores[m].rank = GetRankFromScores(m_scores[m].score, uint8_t(m));
}

int Profile::UpgradeRankMomentHandler()
{
    Score& s = m_scores[m_mode];
    s.rank = GetRankFromScores(s.score, m_mode);
    if (s.rank <= s.bestRank)
        return 0;
    s.bestRank = s.rank;
    return 1;
}

void Profile::AddMedal(int m)
{
    if (m >= 0 && m < kMedals)
        m_medals = uint8_t(m_medals | (1u << m));
}

void Profile::RemoveMedal(int m)
{
    if (m >= 0 && m < kMedals)
        m_medals = uint8_t(m_medals & ~(1u << m));
}

int Profile::HasMedal(int m) const { return m >= 0 && m < kMedals && (m_medals >> m) & 1 ? 1 : 0; }

void Profile::AddKill() { m_kills = AddCapped(m_kills, 1, kMaxKills); }

void Profile::ReduceKill()
{
    if (m_kills > 0)
        --m_kills;
}

void Profile::ApplyKills()
{
    if (m_sessionKills > 0)
        m_kills = AddCapped(m_kills, uint32_t(m_sessionKills), kMaxKills);
}

void Profile::AddTotalPlayingTime(uint32_t ms) { m_playTime = AddCapped(m_playTime, ms, 0xFFFFFFFFu); }

void Profile::AppendTotalPlayTimeToString(PString*& text) const
{
    if (!text)
        return;
    const uint32_t seconds = m_playTime / 1000;
    const uint32_t parts[3] = {seconds / 3600, seconds / 60 % 60, seconds % 60};
    for (int i = 0; i < 3; ++i) {
        if (i)
            text->Append(':');
        if (parts[i] < 10)
            text->Append('0');
        text->AppendNum(parts[i], 10);
    }
}

int Profile::UnlockLevel(uint8_t value, int index)
{
    if (index < 0 || index >= kUnlockGroups)
        return 0;
    m_unlocked[index] = value;
    return 1;
}

int Profile::UnlockNextLevel(int index)
{
    if (index < 0 || index >= kUnlockGroups)
        return 0;
    if (m_unlocked[index] < 0xFF)
        ++m_unlocked[index];
    return 1;
}

void Profile::SetLevelsGroupPtr(LevelsGroup** groups, uint8_t count)
{
    m_groups = groups;
    m_groupCount = count;
}

// --- the file --------------------------------------------------------------------

int Profile::Serialize(uint8_t* out) const
{
    out[OFF_MEDALS] = m_medals;
    MyUtility::IntegerToBytes(int32_t(m_kills), out + OFF_KILLS);
    MyUtility::IntegerToBytes(int32_t(m_playTime), out + OFF_PLAYTIME);
    out[OFF_PLANE] = uint8_t(m_plane);
    for (int m = 0; m < kModes; ++m) {
        MyUtility::IntegerToBytes(int32_t(m_scores[m].score), out + OFF_SCORE + 4 * m);
        out[OFF_RANK + m] = m_scores[m].rank;
        out[OFF_BEST + m] = m_scores[m].bestRank;
    }
    out[OFF_UNLOCK_COUNT] = kUnlockGroups;
    std::memcpy(out + OFF_UNLOCKS, m_unlocked, kUnlockGroups);
    int at = kFixedSize;
    const PString* strings[4] = {&m_nicks[0], &m_nicks[1], &m_passwords[0], &m_passwords[1]};
    for (const PString* s : strings) {
        // The length is one byte: longer texts are stored cut.
        const int n = s->Length() < unsigned(kMaxString) ? int(s->Length()) : kMaxString;
        out[at++] = uint8_t(n);
        if (n)
            std::memcpy(out + at, s->Data(), size_t(n));
        at += n;
    }
    return at;
}

int Profile::Deserialize(const uint8_t* data, int size)
{
    if (!data || size < kMinFileSize) {
        _PDebug("profile: %d bytes, %d at least\n", size, kMinFileSize);
        return 0;
    }
    // The strings follow the four unlock counts whatever count the file
    // announces; each must lie inside the file.
    int at = kFixedSize;
    int offsets[4], lengths[4];
    for (int i = 0; i < 4; ++i) {
        if (at >= size) {
            _PDebug("profile: string %d starts past the end (%d of %d bytes)\n", i, at, size);
            return 0;
        }
        lengths[i] = data[at];
        offsets[i] = at + 1;
        at += 1 + lengths[i];
        if (at > size) {
            _PDebug("profile: string %d of %d bytes runs past the end (%d bytes)\n", i, lengths[i], size);
            return 0;
        }
    }

    m_medals = data[OFF_MEDALS];
    m_kills = uint32_t(MyUtility::BytesToInteger(data + OFF_KILLS));
    m_playTime = uint32_t(MyUtility::BytesToInteger(data + OFF_PLAYTIME));
    // No aircraft has a negative index.
    m_plane = int8_t(data[OFF_PLANE]) < 0 ? 0 : int8_t(data[OFF_PLANE]);
    for (int m = 0; m < kModes; ++m) {
        m_scores[m].score = uint32_t(MyUtility::BytesToInteger(data + OFF_SCORE + 4 * m));
        m_scores[m].rank = HeldRank(data[OFF_RANK + m]);
        m_scores[m].bestRank = HeldRank(data[OFF_BEST + m]);
    }
    std::memcpy(m_unlocked, data + OFF_UNLOCKS, kUnlockGroups);
    PString* strings[4] = {&m_nicks[0], &m_nicks[1], &m_passwords[0], &m_passwords[1]};
    for (int i = 0; i < 4; ++i)
        strings[i]->Assign(reinterpret_cast<const char*>(data + offsets[i]), unsigned(lengths[i]));
    return 1;
}

int Profile::Load(const char* path)
{
    if (!path)
        return 0;
    PFile f(path, PFile::kRead);
    if (!f.IsOpen())
        return 0;
    const long size = f.Size();
    if (size <= 0)
        return 0;
    if (size > kMaxFileSize) {
        _PDebug("profile: %s is %ld bytes, %d at most\n", path, size, kMaxFileSize);
        return 0;
    }
    std::vector<uint8_t> data(static_cast<size_t>(size));
    if (f.Read(data.data(), int(size)) != int(size)) {
        _PDebug("profile: %s could not be read\n", path);
        return 0;
    }
    if (!Deserialize(data.data(), int(size))) {
        _PDebug("profile: %s is malformed; not loaded\n", path);
        return 0;
    }
    return 1;
}

int Profile::Save(const char* path) const
{
    if (!path)
        return 0;
    PString temp(path);
    temp.Append(".tmp");
    uint8_t record[kMaxFileSize];
    const int n = Serialize(record);
    int ok = 0;
    {
        PFile f;
        if (f.Open(temp.c_str(), PFile::kWrite | PFile::kCreate | PFile::kTruncate) != 0 || !f.IsOpen()) {
            _PDebug("profile: %s could not be created\n", temp.c_str());
            return 0;
        }
        ok = f.Write(record, n) == n;
    }
    // The rename replaces the old file in one step: a crash before it
    // leaves the old file, after it the new one.
    if (!ok || PFile::Rename(temp.c_str(), path) != 0) {
        _PDebug("profile: %s could not be written\n", path);
        PFile::Delete(temp.c_str());
        return 0;
    }
    return 1;
}
