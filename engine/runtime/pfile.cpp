#include "engine/runtime/pfile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/runtime/pdebug.h"
#include "engine/runtime/pglobals.h"
#include "engine/runtime/pvfs.h"

namespace {
constexpr char kSaveVar[] = "VORNAPP_SAVEPATH";
constexpr char kInstallVar[] = "VORNAPPPATH";
}

int PFile::FullPath(char* out, int outSize, char const* name, char const* envVar, bool slashes)
{
    if (!name || outSize <= 0) {
        if (outSize > 0)
            out[0] = 0;
        return -1;
    }
    char const* prefix = "";
    if (name[0] != '/') {
        char const* env = std::getenv(envVar);
        if (env)
            prefix = env;
    }
    size_t lp = std::strlen(prefix);
    size_t ln = std::strlen(name);
    if (lp + ln + 1 > size_t(outSize)) {
        _PDebug("PFile: path too long: %s%s\n", prefix, name);
        out[0] = 0;
        return -1;
    }
    std::memcpy(out, prefix, lp);
    std::memcpy(out + lp, name, ln + 1);
    if (slashes) {
        for (char* p = out + lp; *p; p++)
            if (*p == '\\')
                *p = '/';
    }
    return 0;
}

PFile::PFile() : m_fd(-1), m_inner(nullptr) {}

PFile::PFile(char const* path, int mode) : m_fd(-1), m_inner(nullptr)
{
    Open(path, mode);
}

PFile::~PFile() { Close(); }

int PFile::Open(char const* path, int mode)
{
    if (m_fd != -1 || m_inner)
        return -1;
    if (!path)
        return -1;

    int flags;
    if ((mode & (kRead | kWrite)) == (kRead | kWrite))
        flags = O_RDWR;
    else if (mode & kWrite)
        flags = O_WRONLY;
    else
        flags = O_RDONLY;
    if (mode & kTruncate)
        flags |= O_TRUNC;
    if (mode & kCreate)
        flags |= O_CREAT;
    if (mode & kExclusive)
        flags |= O_EXCL;
    flags |= O_CLOEXEC;

    char full[kOpenPathMax];
    int pathOk = FullPath(full, sizeof full, path, kSaveVar, true);

    if (mode & (kWrite | kTruncate | kCreate)) {
        if (pathOk != 0)
            return -1;
        int fd = ::open(full, flags, 0644);
        if (fd < 0)
            return -1;
        m_fd = fd;
        return 0;
    }

    if (pathOk == 0)
        m_fd = ::open(full, flags);
    if (m_fd < 0 && FullPath(full, sizeof full, path, kInstallVar, true) == 0)
        m_fd = ::open(full, flags);
    if (m_fd < 0) {
        m_fd = -1;
        m_inner = OpenVFS(path, mode);
    }
    return 0;
}

void PFile::Close()
{
    if (m_fd != -1) {
        ::close(m_fd);
        m_fd = -1;
    }
    delete m_inner;
    m_inner = nullptr;
}

int PFile::IsOpen() const
{
    if (m_inner)
        return m_inner->IsOpen();
    return m_fd != -1;
}

int PFile::Read(void* buffer, int count)
{
    if (m_inner)
        return m_inner->Read(buffer, count);
    if (m_fd == -1 || count < 0)
        return -1;
    ssize_t n;
    do
        n = ::read(m_fd, buffer, size_t(count));
    while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : int(n);
}

int PFile::Write(void const* buffer, int count)
{
    if (m_inner)
        return m_inner->Write(buffer, count);
    if (m_fd == -1 || count < 0)
        return -1;
    ssize_t n;
    do
        n = ::write(m_fd, buffer, size_t(count));
    while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : int(n);
}

long PFile::Seek(long offset, int whence)
{
    if (m_inner)
        return m_inner->Seek(offset, whence);
    if (m_fd == -1)
        return -1;
    int w = whence == 1 ? SEEK_CUR : whence == 2 ? SEEK_END : SEEK_SET;
    off_t r = ::lseek(m_fd, off_t(offset), w);
    return r < 0 ? -1 : long(r);
}

long PFile::Left()
{
    return m_inner ? m_inner->Left() : PStream::Left();
}

long PFile::Size() const
{
    if (m_inner)
        return m_inner->Size();
    if (m_fd == -1)
        return -1;
    struct stat st;
    if (::fstat(m_fd, &st) != 0)
        return -1;
    return long(st.st_size);
}

PStream* PFile::OpenVFS(char const* path, int mode)
{
    PVFS* vfs = PGetArchive();
    if (!vfs)
        return nullptr;
    return vfs->Open(path, mode);
}

int PFile::MkDir(char const* path)
{
    char full[kPathMax];
    if (FullPath(full, sizeof full, path, kSaveVar, false) != 0)
        return -1;
    size_t len = std::strlen(full);
    if (len > 0 && full[len - 1] == '/')
        full[--len] = 0;
    if (len == 0)
        return -1;
    for (size_t i = 1; i < len; i++) {
        if (full[i] != '/')
            continue;
        full[i] = 0;
        ::mkdir(full, 0777); // the parent may exist already
        full[i] = '/';
    }
    return ::mkdir(full, 0777) == 0 ? 0 : -1;
}

int PFile::RmDir(char const* path)
{
    char full[kPathMax];
    if (FullPath(full, sizeof full, path, kSaveVar, false) != 0)
        return -1;
    return ::rmdir(full) == 0 ? 0 : -1;
}

int PFile::Delete(char const* path, int)
{
    char full[kPathMax];
    if (FullPath(full, sizeof full, path, kSaveVar, true) != 0)
        return -1;
    return std::remove(full) == 0 ? 0 : -1;
}

int PFile::Rename(char const* from, char const* to)
{
    char a[kPathMax];
    char b[kPathMax];
    if (FullPath(a, sizeof a, from, kSaveVar, true) != 0 || FullPath(b, sizeof b, to, kSaveVar, true) != 0)
        return -1;
    return std::rename(a, b) == 0 ? 0 : -1;
}

int PFile::GetFreeSpace(char const*) { return 0x7FFFFFFF; }
