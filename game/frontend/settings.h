// The persistent options and the favourite multiplayer servers, stored in
// usr\settings.nil in the writable directory (layout in
// docs/formats/settings.md). A change is stored at once with Write, which
// goes through a temporary file so that a failed write keeps the old file.
#pragma once
#include <cstdint>

#include "game/frontend/gameinfo.h"

class Settings : public GameInfo {
public:
    static constexpr int kHeaderSize = 46;
    static constexpr int kNameSize = 32;    // name field of a favourite, terminator included
    static constexpr int kAddressSize = 22; // "host:port" field of a favourite
    static constexpr int kRecordSize = kNameSize + kAddressSize;
    static constexpr int kLastAddressSize = 24;
    // The file stores the favourite count in one byte.
    static constexpr int kMaxFavourites = 255;

    struct Favourite {
        char name[kNameSize];
        char address[kAddressSize];
    };
    static_assert(sizeof(Favourite) == kRecordSize, "favourites are stored as they are in memory");

    Settings() = default;
    ~Settings() override;
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // Loads the file; a missing file changes nothing, a short header leaves
    // the options as they were, and a short record list leaves no
    // favourites. Takes the saved copies afterwards.
    void Read();
    // Stores the file; 1, or 0 when it could not be written completely (the
    // old file is then kept).
    int Write();
    // 1 when the settings file opens for reading.
    static int TestFile();
    // Copies the music and effects volumes and the sensitivity into the
    // saved copies.
    void SetBuffers();

    void ServerDataRelease();
    // A new array (PAlloc; the caller frees it with PFree, not the names)
    // of pointers to the favourites' names; the count. Null with none.
    int GetFavList(char**& list);
    // Splits the address of favourite i at its last ':' into the host text
    // (host needs kAddressSize bytes) and the decimal port; 0 for an index
    // out of range or an address without ':', else 1.
    int GetFavAddr(int i, char* host, int& port) const;
    int IsOnFavList(const char* address) const;
    // Appends a favourite (name cut to 31 characters, address to 21) and
    // writes the file; Write's result, or 0 when the list is full.
    int AddToFav(const char* name, const char* address);
    // Removes favourite i and writes the file; Write's result, or 0 for an
    // index out of range (nothing written).
    int RemoveFromFav(int i);
    // Removes the first favourite with that address, if any, and writes the
    // file; Write's result.
    int RemoveFromFav(const char* address);

    int32_t favCount = 0;
    uint8_t valueA = 0;
    int32_t valueB = 0;
    int32_t valueD = 0;
    Favourite* favourites = nullptr; // favCount records (PAlloc)
    char lastAddress[kLastAddressSize] = {};
};
