#include "mapped_libraries.h"

#include <algorithm>
#include <fstream>
#include <sstream>

std::vector<std::string> mappedLibraries(pid_t pid)
{
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::vector<std::string> libraries;
    std::string line;
    while (std::getline(maps, line)) {
        // address perms offset device inode path
        std::istringstream fields(line);
        std::string skipped, path;
        for (int i = 0; i < 5; ++i)
            fields >> skipped;
        fields >> path;
        if (path.find(".so") != std::string::npos
            && std::find(libraries.begin(), libraries.end(), path) == libraries.end())
            libraries.push_back(path);
    }
    return libraries;
}
