// The trace files of the repository's trace folders, for tests that replay
// every trace.
#pragma once
#include <dirent.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

// The .trace files of each folder (relative to the source tree, e.g.
// "/tests/gl/traces"), as full paths: folder by folder, sorted by name
// within each.
inline std::vector<std::string> TraceFiles(std::initializer_list<char const*> dirs)
{
    std::vector<std::string> paths;
    for (char const* dir : dirs) {
        std::string d = std::string(KRV_SOURCE_DIR) + dir;
        std::vector<std::string> names;
        if (DIR* h = opendir(d.c_str())) {
            while (dirent* e = readdir(h)) {
                std::string n = e->d_name;
                if (n.size() > 6 && n.compare(n.size() - 6, 6, ".trace") == 0)
                    names.push_back(n);
            }
            closedir(h);
        }
        std::sort(names.begin(), names.end());
        for (std::string const& n : names)
            paths.push_back(d + "/" + n);
    }
    return paths;
}
