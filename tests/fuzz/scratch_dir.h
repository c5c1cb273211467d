// A fresh scratch directory for the harnesses that go through real files,
// made on memory so that each input costs no disk waits: under /dev/shm when
// it is a tmpfs, else under /tmp. Its path ends with '/'; empty when none
// could be made.
#pragma once
#include <linux/magic.h>
#include <stdlib.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <string>

inline std::string FuzzScratchDir(const char* name)
{
    struct statfs fs;
    const bool shm = ::statfs("/dev/shm", &fs) == 0 && fs.f_type == TMPFS_MAGIC && ::access("/dev/shm", W_OK) == 0;
    std::string pattern = std::string(shm ? "/dev/shm" : "/tmp") + "/krv_" + name + "_fuzz.XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return std::string();
    return pattern + "/";
}
