#pragma once

#include <string>

// Names this process so that another can tell later whether it still runs: the machine's boot,
// the process id and the process's start time ("boot-id/pid/start").
std::string processIdentity();

// Whether the process named by an identity from processIdentity() still runs. An empty or
// malformed identity names no live process.
bool isProcessAlive(const std::string &identity);
