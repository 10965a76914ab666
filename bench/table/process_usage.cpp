#include "process_usage.h"

#include <filesystem>
#include <fstream>
#include <string>

ProcessUsage processUsage(pid_t pid)
{
    ProcessUsage usage;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto &task : std::filesystem::directory_iterator(tasks, error)) {
        // schedstat's first field is the thread's time on a CPU in nanoseconds, far finer than
        // the clock ticks of /proc/PID/stat.
        std::ifstream schedstat(task.path() / "schedstat");
        long long nanoseconds = 0;
        if (schedstat >> nanoseconds)
            usage.cpuSeconds += double(nanoseconds) / 1e9;
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            constexpr std::string_view voluntary = "voluntary_ctxt_switches:";
            if (line.starts_with(voluntary))
                usage.wakeups += std::stoll(line.substr(voluntary.size()));
        }
    }
    return usage;
}

long residentKilobytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    }
    return 0;
}
