#pragma once

#include <filesystem>
#include <string_view>

// A folder of its own for one fuzzing process, in memory where the system has a tmpfs there
// (/dev/shm), so that each input's files cost no disk writes. Removed at exit.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    // Empties the folder for the next input.
    void clear() const;

private:
    std::filesystem::path m_path;
};

// Writes data to path, replacing what was there; aborts if it cannot.
void writeWhole(const std::filesystem::path &path, std::string_view data);
