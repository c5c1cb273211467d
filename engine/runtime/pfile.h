// Files and the path rules.
//
// A relative name lives under the writable directory (environment variable
// VORNAPP_SAVEPATH, which ends with its own '/'); a name beginning with '/' is
// used as it is. A file opened only for reading that is not there is looked
// for under the installation directory (VORNAPPPATH) and then inside the open
// data archive. Open, Delete and Rename turn backslashes into '/'.
#pragma once
#include "engine/runtime/pstream.h"

class PFile : public PStreamSeekable {
public:
    // Mode bits of Open.
    enum {
        kRead = 1,
        kWrite = 2,
        kTruncate = 4,
        kCreate = 8,
        kExclusive = 16,
    };
    // Longest full path, terminator included, of Open and of the directory
    // and file-system operations. Longer names are refused.
    static constexpr int kOpenPathMax = 512;
    static constexpr int kPathMax = 256;

    PFile();
    // Opens at once; callers test IsOpen.
    PFile(char const* path, int mode);
    ~PFile() override;

    // -1 when already open or when an open with any of the bits kWrite,
    // kTruncate, kCreate fails; otherwise 0, also when a read-only open found
    // the file nowhere (IsOpen is then 0 and Open may be called again).
    int Open(char const* path, int mode);
    void Close();

    int IsOpen() const override;
    int Read(void* buffer, int count) override;
    int Write(void const* buffer, int count) override;
    long Seek(long offset, int whence) override;
    long Size() const override;
    long Left() override;

    // The entry stream of the open archive (PGetArchive), or null.
    static PStream* OpenVFS(char const* path, int mode);
    // Creates the directory and every missing parent; 0 or -1.
    static int MkDir(char const* path);
    static int RmDir(char const* path);
    static int Delete(char const* path, int unused = 0);
    static int Rename(char const* from, char const* to);
    // Free space is not measured on this platform: always 0x7FFFFFFF.
    static int GetFreeSpace(char const* path);

    // Builds the full path of name under the directory held by the
    // environment variable envVar into out (outSize bytes), turning
    // backslashes into '/' when slashes is set. 0, or -1 (logged) when the
    // path does not fit.
    static int FullPath(char* out, int outSize, char const* name, char const* envVar, bool slashes);

private:
    int m_fd;
    PStream* m_inner;
};
