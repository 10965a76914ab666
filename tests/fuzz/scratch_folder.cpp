#include "scratch_folder.h"

#include <cstdlib>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder()
{
    std::error_code error;
    const fs::path base = fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm")
                                                               : fs::temp_directory_path();
    std::string name = (base / "typing-drill-fuzz-XXXXXX").string();
    if (!::mkdtemp(name.data()))
        std::abort();
    m_path = name;
}

ScratchFolder::~ScratchFolder()
{
    std::error_code error;
    fs::remove_all(m_path, error);
}

void ScratchFolder::clear() const
{
    for (const fs::directory_entry &entry : fs::directory_iterator(m_path))
        fs::remove_all(entry.path());
}

void writeWhole(const fs::path &path, std::string_view data)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(data.data(), static_cast<std::streamsize>(data.size()));
    file.close();
    if (!file)
        std::abort();
}
