#pragma once

#include <string>

// What kept the history from being written, as far as the user needs to know.
enum class HistoryFault {
    None,
    // The history stays off for the rest of the program:
    CannotCreateFolder,
    // A folder, a device or a pipe, or a path that cannot be looked at (too long, a symlink loop).
    NotAFile,
    CannotWrite,
    NotADatabase,
    Damaged,
    NewerVersion,
    // Tried again later, with the keys kept in memory:
    DiskFull,
    Locked,
    WriteFailed,
    // Keys no longer kept in memory:
    QueueFull,
    ExitTimeout,
    // Not a fault of the file: the drill's learner was removed while it ran, and added again.
    LearnerRecreated,
};

// Whether the history stays off after this fault.
bool isLasting(HistoryFault fault);

// One line for standard error, in Chinese and English, naming the file; detail (a count, the
// database's own words) where the fault has one.
std::string faultMessage(HistoryFault fault, const std::string &path,
                         const std::string &detail = {});
