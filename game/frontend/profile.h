// One player's profile: nicknames and passwords, the single-player and
// multiplayer scores with their ranks, medals, kills, play time, the chosen
// aircraft and how many levels of each campaign group may be played. Stored
// as usr/profile_<index> (layout in docs/formats/profile.md).
#pragma once
#include <cstdint>

#include "engine/runtime/pstring.h"
#include "game/frontend/score.h"

class LevelsGroup;

class Profile {
public:
    enum Mode : uint8_t { kSinglePlayer = 0, kMultiplayer = 1, kModes = 2 };
    static constexpr int kRanks = 5;
    static constexpr int kMedals = 8;
    // Unlock counts: campaigns 0, 1, 2, then the time-attack group.
    static constexpr int kUnlockGroups = 4;
    static constexpr int kTimeAttackGroup = 3;
    static constexpr uint32_t kMaxKills = 0x7FFFFFFF;
    // The space one profile file is budgeted (the storage check).
    static constexpr int kDataSize = 85;
    // The fixed part of the file: everything up to the first string's length.
    static constexpr int kFixedSize = 23 + kUnlockGroups;
    static constexpr int kMinFileSize = kFixedSize + 4;
    // Four strings of at most 255 bytes each.
    static constexpr int kMaxFileSize = kMinFileSize + 4 * 255;

    Profile();
    ~Profile();
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    // Selects the mode the mode-less operations use (held to 0 or 1).
    void SetMode(uint8_t mode) { m_mode = mode ? kMultiplayer : kSinglePlayer; }
    uint8_t GetMode() const { return m_mode; }

    void SetScore(uint32_t score) { m_scores[m_mode].score = score; }
    uint32_t GetScore() const { return m_scores[m_mode].score; }
    uint32_t GetScore(uint8_t mode) const { return m_scores[Idx(mode)].score; }
    uint8_t GetRank() const { return m_scores[m_mode].rank; }
    uint8_t GetRank(uint8_t mode) const { return m_scores[Idx(mode)].rank; }
    uint8_t GetBestRank(uint8_t mode) const { return m_scores[Idx(mode)].bestRank; }
    const PString& GetNick() const { return m_nicks[m_mode]; }
    const PString& GetNick(uint8_t mode) const { return m_nicks[Idx(mode)]; }
    const PString& GetPass() const { return m_passwords[m_mode]; }
    const PString& GetPass(uint8_t mode) const { return m_passwords[Idx(mode)]; }
    void ScoreIncrease(int n) { m_scores[m_mode].Increase(n); }

    // Both modes get the same text.
    void SetNick(const char* nick);
    void SetPass(const char* pass);

    void SetCurrentPlane(int8_t plane) { m_plane = plane; }
    int8_t GetCurrentPlane() const { return m_plane; }

    // The rank a score holds in a mode: rank r for edge[r] <= score <
    // edge[r + 1]; scores at or above the last edge keep the top rank.
    static uint8_t GetRankFromScores(uint32_t score, uint8_t mode);
    uint8_t GetRankFromScores(uint32_t score) const { return GetRankFromScores(score, m_mode); }
    uint8_t GetRankFromScores() const { return GetRankFromScores(GetScore(), m_mode); }
    // The lowest score of rank r in a mode (r held to 0..kRanks - 1).
    static uint32_t RankEdge(uint8_t mode, int rank);
    // Both modes' ranks from their scores; best ranks untouched.
    void UpdateRanks();
    // The current mode's rank from its score; 1 when that is above the best
    // rank reached (which then takes it), so a promotion is reported once.
    int UpgradeRankMomentHandler();

    // Medal bits 0-7; other indexes are ignored.
    void AddMedal(int m);
    void RemoveMedal(int m);
    int HasMedal(int m) const;
    uint8_t Medals() const { return m_medals; }

    // +1, up to kMaxKills.
    void AddKill();
    // -1, not below 0.
    void ReduceKill();
    void SetKills(uint32_t kills) { m_kills = kills; }
    uint32_t GetKills() const { return m_kills; }
    void SetSessionKills(int kills) { m_sessionKills = kills; }
    int GetSessionKills() const { return m_sessionKills; }
    // Adds positive session kills to the total (up to kMaxKills).
    void ApplyKills();

    // Adds play time, saturating at the largest count.
    void AddTotalPlayingTime(uint32_t ms);
    uint32_t GetTotalPlayingTime() const { return m_playTime; }
    // Appends "hh:mm:ss" (hours in full above 99); nothing for a null string.
    void AppendTotalPlayTimeToString(PString*& text) const;

    // Sets the unlock count of group index; 0 for an index out of range.
    int UnlockLevel(uint8_t value, int index);
    // Adds 1 to the unlock count of group index (up to 255); 0 for an index
    // out of range.
    int UnlockNextLevel(int index);
    uint8_t GetUnlocked(int index) const { return index >= 0 && index < kUnlockGroups ? m_unlocked[index] : 0; }

    // The campaign groups (not owned).
    void SetLevelsGroupPtr(LevelsGroup** groups, uint8_t count);
    LevelsGroup** GetLevelsGroups() const { return m_groups; }
    uint8_t GetLevelsGroupCount() const { return m_groupCount; }

    // The campaign last chosen in the menu.
    uint8_t campaign = 0;

    static int GetDataSize() { return kDataSize; }
    // The file's bytes in out (at least kMaxFileSize bytes); their count.
    int Serialize(uint8_t* out) const;
    // Takes the fields from a file's bytes. 0 (logged, profile unchanged)
    // when they are too short for the fields and strings they announce.
    int Deserialize(const uint8_t* data, int size);
    // Reads the file at path; 0 (logged, profile unchanged) when it does
    // not open, is empty or is malformed.
    int Load(const char* path);
    // Writes path + ".tmp" and renames it over path, so that the old file
    // stays whole until the new one is complete. 1, or 0 when it could not
    // be written (the old file is kept).
    int Save(const char* path) const;

private:
    static int Idx(uint8_t mode) { return mode ? kMultiplayer : kSinglePlayer; }

    Score m_scores[kModes];
    PString m_nicks[kModes];
    PString m_passwords[kModes];
    uint8_t m_medals = 0;
    uint32_t m_kills = 0;
    int32_t m_sessionKills = 0;
    uint32_t m_playTime = 0;
    uint8_t m_mode = kSinglePlayer;
    int8_t m_plane = 0;
    LevelsGroup** m_groups = nullptr;
    uint8_t m_groupCount = 0;
    uint8_t m_unlocked[kUnlockGroups] = {};
};
