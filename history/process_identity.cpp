#include "process_identity.h"

#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string bootId()
{
    std::ifstream file("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(file, id);
    return id;
}

// Field 22 of /proc/PID/stat: the start time in clock ticks after boot. Empty when gone.
std::string startTime(const std::string &pid)
{
    std::ifstream file("/proc/" + pid + "/stat");
    std::string stat;
    std::getline(file, stat);
    // The command name (field 2) may hold spaces and parentheses: count from its closing one.
    const auto nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos)
        return {};
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string field;
    for (int number = 3; number <= 22 && fields >> field; ++number) {
        if (number == 22)
            return field;
    }
    return {};
}

} // namespace

std::string processIdentity()
{
    const std::string pid = std::to_string(getpid());
    return bootId() + "/" + pid + "/" + startTime(pid);
}

bool isProcessAlive(const std::string &identity)
{
    const auto first = identity.find('/');
    const auto second = identity.find('/', first == std::string::npos ? first : first + 1);
    if (first == std::string::npos || second == std::string::npos || first == 0)
        return false;
    const std::string pid = identity.substr(first + 1, second - first - 1);
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const std::string start = identity.substr(second + 1);
    return identity.substr(0, first) == bootId() && !start.empty() && startTime(pid) == start;
}
