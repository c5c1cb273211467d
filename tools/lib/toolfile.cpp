#include "tools/lib/toolfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool WriteFileAtomic(std::string const& path, void const* data, size_t size, std::string* err)
{
    std::string tmp = path + ".tmpXXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back(0);
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
        if (err)
            *err = "cannot create a temporary file next to " + path + ": " + std::strerror(errno);
        return false;
    }
    ::fchmod(fd, 0644);
    auto p = static_cast<uint8_t const*>(data);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    bool ok = done == size;
    int saved = errno;
    if (::close(fd) != 0)
        ok = false;
    if (!ok) {
        ::unlink(name.data());
        if (err)
            *err = "cannot write " + path + ": " + std::strerror(saved);
        return false;
    }
    if (::rename(name.data(), path.c_str()) != 0) {
        saved = errno;
        ::unlink(name.data());
        if (err)
            *err = "cannot rename to " + path + ": " + std::strerror(saved);
        return false;
    }
    return true;
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
