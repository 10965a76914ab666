#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The shared objects a running process has mapped, each file once, as /proc/PID/maps lists
// them; empty for a process that is gone.
std::vector<std::string> mappedLibraries(pid_t pid);
