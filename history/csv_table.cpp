#include "csv_table.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

std::string csvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

CsvReader::CsvReader(int file)
    : m_file(file)
    , m_buffer(64 * 1024)
{
}

int CsvReader::peek()
{
    if (m_at == m_end && !m_readFailed) {
        ssize_t read = 0;
        do
            read = ::read(m_file, m_buffer.data(), m_buffer.size());
        while (read < 0 && errno == EINTR);
        if (read < 0) {
            m_readFailed = true;
            fail(m_line,
                 std::string("无法读取文件。The file cannot be read (") + std::strerror(errno)
                     + ").");
        }
        m_at = 0;
        m_end = read > 0 ? static_cast<std::size_t>(read) : 0;
        if (!m_started) {
            m_started = true;
            if (m_end >= 3 && std::memcmp(m_buffer.data(), "\xEF\xBB\xBF", 3) == 0)
                m_at = 3;
            return peek();
        }
    }
    return m_at < m_end ? static_cast<unsigned char>(m_buffer[m_at]) : EOF;
}

int CsvReader::take()
{
    const int c = peek();
    if (c != EOF)
        ++m_at;
    return c;
}

bool CsvReader::fail(int line, std::string reason)
{
    if (m_fault.empty()) {
        m_fault = std::move(reason);
        m_faultLine = line;
    }
    return false;
}

bool CsvReader::next(CsvRecord &record)
{
    record.line = m_line;
    record.fields.clear();
    if (peek() == EOF)
        return false;
    const auto atEnd = [](int c) {
        return c == ',' || c == '\r' || c == '\n' || c == EOF;
    };
    std::size_t bytes = 0;
    const auto append = [&](std::string &field, int c) {
        if (++bytes > maxRecordBytes)
            return fail(record.line, "记录太长。The record is longer than 64 KiB.");
        field += static_cast<char>(c);
        return true;
    };
    for (;;) {
        std::string field;
        if (peek() == '"') {
            take();
            const int opened = m_line;
            for (;;) {
                int c = take();
                if (c == EOF)
                    return fail(opened, "引号未闭合。Unbalanced quotes.");
                if (c == '"') {
                    if (peek() != '"')
                        break;
                    take();
                } else if (c == '\n' || (c == '\r' && peek() != '\n')) {
                    ++m_line;
                }
                if (!append(field, c))
                    return false;
            }
            if (!atEnd(peek()))
                return fail(m_line, "引号后还有文字。Text after a closing quote.");
        } else {
            while (!atEnd(peek())) {
                if (!append(field, take()))
                    return false;
            }
        }
        record.fields.push_back(std::move(field));
        if (peek() != ',')
            break;
        take();
    }
    if (peek() == '\r')
        take();
    if (peek() == '\n')
        take();
    ++m_line;
    return m_fault.empty();
}
