#include "process_identity.h"

#include <algorithm>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace {

// The first line of a small file under /proc; empty when it cannot be read. Plain reads: the
// stream classes would bring the locale machinery into the drill's memory for two short lines.
std::string firstLine(const std::string &path)
{
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return {};
    char buffer[1024];
    const ssize_t got = ::read(file, buffer, sizeof buffer);
    ::close(file);
    const std::string_view text(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
    return std::string(text.substr(0, text.find('\n')));
}

std::string bootId()
{
    return firstLine("/proc/sys/kernel/random/boot_id");
}

// Field 22 of /proc/PID/stat: the start time in clock ticks after boot. Empty when gone.
std::string startTime(const std::string &pid)
{
    const std::string stat = firstLine("/proc/" + pid + "/stat");
    // The command name (field 2) may hold spaces and parentheses: count from its closing one.
    const auto nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos)
        return {};
    // Field 3 starts after ") ".
    std::size_t at = nameEnd + 2;
    for (int number = 3; at < stat.size(); ++number) {
        const std::size_t end = std::min(stat.find(' ', at), stat.size());
        if (number == 22)
            return stat.substr(at, end - at);
        at = end + 1;
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
