#pragma once

#include <map>
#include <sys/types.h>

// What a thread has used so far: time on a CPU, and how many times it went to sleep of its own
// accord, each such sleep ending in a wake-up.
struct ThreadUsage
{
    double cpuSeconds = 0;
    long long wakeups = 0;
};

// Each thread of a process by its id, read from /proc; empty for a process that is gone.
using ProcessUsage = std::map<pid_t, ThreadUsage>;
ProcessUsage processUsage(pid_t pid);

// What the threads alive at both readings used between them. A thread that ended in between
// takes its counts with it, so it is left out rather than subtracted.
ThreadUsage usageBetween(const ProcessUsage &before, const ProcessUsage &after);

// The process's resident set size in kilobytes, or 0 when it is gone.
long residentKilobytes(pid_t pid);
