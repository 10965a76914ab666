#pragma once

#include <sys/types.h>

// What a process has used so far, summed over its threads: time on a CPU, and how many times its
// threads went to sleep of their own accord, each such sleep ending in a wake-up.
struct ProcessUsage
{
    double cpuSeconds = 0;
    long long wakeups = 0;
};

// Read from /proc; zeros for a process that is gone.
ProcessUsage processUsage(pid_t pid);

// The process's resident set size in kilobytes, or 0 when it is gone.
long residentKilobytes(pid_t pid);
