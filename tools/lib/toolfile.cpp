#include "tools/lib/toolfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

AtomicFile::~AtomicFile() { Drop(); }

void AtomicFile::Drop()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    ::unlink(m_tmp.data());
    m_fd = -1;
}

bool AtomicFile::Open(std::string* err)
{
    Drop();
    std::string tmp = m_path + ".tmpXXXXXX";
    m_tmp.assign(tmp.begin(), tmp.end());
    m_tmp.push_back(0);
    m_fd = ::mkstemp(m_tmp.data());
    if (m_fd < 0) {
        if (err)
            *err = "cannot create a temporary file next to " + m_path + ": " + std::strerror(errno);
        return false;
    }
    ::fchmod(m_fd, 0644);
    return true;
}

bool AtomicFile::Write(void const* data, size_t size, std::string* err)
{
    if (m_fd < 0)
        return false;
    auto p = static_cast<uint8_t const*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(m_fd, p + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (err)
                *err = "cannot write " + m_path + ": " + std::strerror(n < 0 ? errno : ENOSPC);
            Drop();
            return false;
        }
        done += size_t(n);
    }
    return true;
}

bool AtomicFile::Commit(std::string* err)
{
    if (m_fd < 0)
        return false;
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        if (err)
            *err = "cannot write " + m_path + ": " + std::strerror(errno);
        ::unlink(m_tmp.data());
        return false;
    }
    if (::rename(m_tmp.data(), m_path.c_str()) != 0) {
        if (err)
            *err = "cannot rename to " + m_path + ": " + std::strerror(errno);
        ::unlink(m_tmp.data());
        return false;
    }
    return true;
}

bool WriteFileAtomic(std::string const& path, void const* data, size_t size, std::string* err)
{
    AtomicFile f(path);
    return f.Open(err) && f.Write(data, size, err) && f.Commit(err);
}

bool ReadFileBytes(std::string const& path, std::vector<uint8_t>* out, std::string* err)
{
    out->clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (err)
            *err = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out->insert(out->end(), buf, buf + n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (!ok && err)
        *err = "cannot read " + path;
    return ok;
}
