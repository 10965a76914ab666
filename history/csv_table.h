#pragma once

#include <string>
#include <string_view>
#include <vector>

// One RFC 4180 field, quoted when it holds a comma, a quote or a line break.
std::string csvField(std::string_view text);

// The records of a CSV text, each with the line it starts on. Quoted fields may hold commas,
// doubled quotes and line breaks; lines end in CRLF or LF. Gives false and the line of the first
// fault (an unclosed quote, text after a closing quote) through errorLine.
struct CsvRecord
{
    int line = 0;
    std::vector<std::string> fields;
};
bool parseCsv(std::string_view text, std::vector<CsvRecord> &records, int &errorLine);
