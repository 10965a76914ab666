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
        ThreadUsage &thread = usage[pid_t(std::stoi(task.path().filename().string()))];
        // schedstat's first field is the thread's time on a CPU in nanoseconds, far finer than
        // the clock ticks of /proc/PID/stat.
        std::ifstream schedstat(task.path() / "schedstat");
        long long nanoseconds = 0;
        if (schedstat >> nanoseconds)
            thread.cpuSeconds = double(nanoseconds) / 1e9;
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            constexpr std::string_view voluntary = "voluntary_ctxt_switches:";
            if (line.starts_with(voluntary))
                thread.wakeups = std::stoll(line.substr(voluntary.size()));
        }
    }
    return usage;
}

ThreadUsage usageBetween(const ProcessUsage &before, const ProcessUsage &after)
{
    ThreadUsage used;
    for (const auto &[id, later] : after) {
        const auto earlier = before.find(id);
        if (earlier == before.end())
            continue;
        used.cpuSeconds += later.cpuSeconds - earlier->second.cpuSeconds;
        used.wakeups += later.wakeups - earlier->second.wakeups;
    }
    return used;
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
