#include "game/frontend/settings.h"

#include <cstring>

#include "engine/runtime/palloc.h"
#include "engine/runtime/pdebug.h"
#include "engine/runtime/pfile.h"
#include "engine/runtime/pstream.h"
#include "engine/runtime/ptext.h"

namespace {

const char kFile[] = "usr\\settings.nil";
const char kTemp[] = "usr\\settings_temp";
const char kDir[] = "usr";

// Copies at most size - 1 bytes of src into a field of size bytes, padding
// with NULs.
void PutField(char* field, int size, const char* src)
{
    std::memset(field, 0, size_t(size));
    if (src)
        std::strncpy(field, src, size_t(size - 1));
}

} // namespace

Settings::~Settings() { ServerDataRelease(); }

void Settings::SetBuffers()
{
    savedMusicVolume = musicVolume;
    savedEffectsVolume = effectsVolume;
    savedSensitivity = sensitivity;
}

void Settings::ServerDataRelease()
{
    PFree(favourites);
    favourites = nullptr;
    favCount = 0;
}

int Settings::TestFile()
{
    PFile f(kFile, PFile::kRead);
    return f.IsOpen() ? 1 : 0;
}

void Settings::Read()
{
    PFile f(kFile, PFile::kRead);
    if (!f.IsOpen())
        return;
    uint8_t h[kHeaderSize];
    const bool whole = f.ReadFully(h, kHeaderSize) == kHeaderSize;
    if (whole) {
        option0 = h[0];
        musicVolume = h[1];
        effectsVolume = h[2];
        invertSteering = h[3];
        option5 = h[4];
        option6 = h[5];
        option7 = h[6];
        language = h[7];
        option8 = h[8];
        option9 = h[9];
        tutorialOffered = h[10];
        sensitivity = h[11];
        valueA = h[13];
        valueB = int32_t(PLoad32(h + 14));
        valueD = int32_t(PLoad32(h + 18));
        std::memcpy(lastAddress, h + 22, kLastAddressSize);
        lastAddress[kLastAddressSize - 1] = 0;
    } else {
        _PDebug("Settings: %s is short; options unchanged\n", kFile);
    }
    ServerDataRelease();
    const int count = whole ? h[12] : 0;
    if (count > 0) {
        auto* list = static_cast<Favourite*>(PAlloc(size_t(count) * kRecordSize));
        if (list && f.ReadFully(list, count * kRecordSize) == count * kRecordSize) {
            for (int i = 0; i < count; i++) {
                list[i].name[kNameSize - 1] = 0;
                list[i].address[kAddressSize - 1] = 0;
            }
            favourites = list;
            favCount = count;
        } else {
            _PDebug("Settings: %s: the %d favourites are short; none kept\n", kFile, count);
            PFree(list);
        }
    }
    f.Close();
    SetBuffers();
}

int Settings::Write()
{
    uint8_t h[kHeaderSize] = {};
    h[0] = option0;
    h[1] = musicVolume;
    h[2] = effectsVolume;
    h[3] = invertSteering;
    h[4] = option5;
    h[5] = option6;
    h[6] = option7;
    h[7] = language;
    h[8] = option8;
    h[9] = option9;
    h[10] = tutorialOffered;
    h[11] = sensitivity;
    h[12] = uint8_t(favCount);
    h[13] = valueA;
    PStore32(h + 14, uint32_t(valueB));
    PStore32(h + 18, uint32_t(valueD));
    std::memcpy(h + 22, lastAddress, kLastAddressSize);
    h[22 + kLastAddressSize - 1] = 0;

    // The directory is missing on a first start.
    PFile::MkDir(kDir);
    PFile f;
    if (f.Open(kTemp, PFile::kWrite | PFile::kCreate | PFile::kTruncate) != 0 || !f.IsOpen()) {
        _PDebug("Settings: cannot create %s\n", kTemp);
        return 0;
    }
    const int records = favCount * kRecordSize;
    const bool ok = f.Write(h, kHeaderSize) == kHeaderSize &&
                    (favCount <= 0 || f.Write(favourites, records) == records);
    f.Close();
    // The rename replaces the old file in one step, so it is never missing.
    if (!ok || PFile::Rename(kTemp, kFile) != 0) {
        _PDebug("Settings: cannot write %s\n", kFile);
        PFile::Delete(kTemp);
        return 0;
    }
    return 1;
}

int Settings::GetFavList(char**& list)
{
    list = nullptr;
    if (favCount <= 0)
        return favCount;
    list = static_cast<char**>(PAlloc(size_t(favCount) * sizeof(char*)));
    if (!list)
        return 0;
    for (int i = 0; i < favCount; i++)
        list[i] = favourites[i].name;
    return favCount;
}

int Settings::GetFavAddr(int i, char* host, int& port) const
{
    if (i < 0 || i >= favCount)
        return 0;
    const char* address = favourites[i].address;
    const char* colon = PStrRChr(address, ':');
    if (!colon)
        return 0;
    const size_t n = size_t(colon - address);
    std::memcpy(host, address, n);
    host[n] = 0;
    port = PAtoi(colon + 1, static_cast<char**>(nullptr), 10);
    return 1;
}

int Settings::IsOnFavList(const char* address) const
{
    if (!address)
        return 0;
    for (int i = 0; i < favCount; i++)
        if (std::strcmp(favourites[i].address, address) == 0)
            return 1;
    return 0;
}

int Settings::AddToFav(const char* name, const char* address)
{
    if (favCount >= kMaxFavourites) {
        _PDebug("Settings: the favourite list is full\n");
        return 0;
    }
    auto* list = static_cast<Favourite*>(PAlloc(size_t(favCount + 1) * kRecordSize));
    if (!list)
        return 0;
    if (favCount > 0)
        std::memcpy(list, favourites, size_t(favCount) * kRecordSize);
    PutField(list[favCount].name, kNameSize, name);
    PutField(list[favCount].address, kAddressSize, address);
    PFree(favourites);
    favourites = list;
    favCount++;
    return Write();
}

int Settings::RemoveFromFav(int i)
{
    if (i < 0 || i >= favCount)
        return 0;
    std::memmove(favourites + i, favourites + i + 1, size_t(favCount - i - 1) * kRecordSize);
    if (--favCount == 0) {
        PFree(favourites);
        favourites = nullptr;
    }
    return Write();
}

int Settings::RemoveFromFav(const char* address)
{
    for (int i = 0; address && i < favCount; i++)
        if (std::strcmp(favourites[i].address, address) == 0)
            return RemoveFromFav(i);
    return Write();
}
