#pragma once

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// Environment variables set for a child on top of this process's own.
using EnvironmentChanges = std::vector<std::pair<std::string, std::string>>;

// Starts a program (looked up in PATH) with extra environment variables; its standard output
// goes to outputFd, or /dev/null when outputFd is -1; its standard error goes to errorPath, or
// /dev/null when empty. Gives the process id, or -1 when it could not be started.
pid_t startProcess(const std::vector<std::string> &arguments, const EnvironmentChanges &changes,
                   int outputFd = -1, const std::string &errorPath = {});

// Ends a child by its process id: SIGTERM, then SIGKILL when it has not exited after graceMs.
// Reaps it. Harmless for a pid of -1.
void endProcess(pid_t pid, int graceMs = 2000);
