#pragma once

#include <string>
#include <string_view>
#include <vector>

// One RFC 4180 field, quoted when it holds a comma, a quote or a line break.
std::string csvField(std::string_view text);

// One record of a CSV file and the line it starts on.
struct CsvRecord
{
    int line = 0;
    std::vector<std::string> fields;
};

// Reads the records of a CSV file one at a time, so that a file of any size needs only its
// longest record in memory. Quoted fields may hold commas, doubled quotes and line breaks; lines
// end in CRLF, LF or CR; a UTF-8 byte order mark at the start is skipped.
class CsvReader
{
public:
    // Reads from an open file, which stays the caller's.
    explicit CsvReader(int file);

    // The next record; false at the end of the file or at a fault (then fault() is not empty).
    bool next(CsvRecord &record);

    // Why reading stopped early, in Chinese and English; empty at the end of the file.
    const std::string &fault() const { return m_fault; }
    // The line of that fault.
    int faultLine() const { return m_faultLine; }

    // No record may be longer: a file is refused rather than read into memory without bound.
    static constexpr std::size_t maxRecordBytes = 64 * 1024;

private:
    int peek();
    int take();
    bool fail(int line, std::string reason);

    int m_file;
    std::vector<char> m_buffer;
    std::size_t m_at = 0;
    std::size_t m_end = 0;
    bool m_started = false;
    bool m_readFailed = false;
    int m_line = 1;
    std::string m_fault;
    int m_faultLine = 0;
};
