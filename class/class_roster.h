#pragma once

#include <string>
#include <vector>

// One pupil of a roster file.
struct RosterRow
{
    int line = 0;
    std::string studentNumber;
    // Trimmed and in normal form C, as a learner's name is kept.
    std::string name;
};

// A roster as schools keep it: a CSV file with the header "学号,姓名" and one pupil per line,
// UTF-8 with or without a byte order mark, lines ending in CR LF or LF.
struct ClassRoster
{
    std::vector<RosterRow> rows;
    // Every fault found, each "line N: reason"; the roster is used only when there is none.
    std::vector<std::string> faults;
};

ClassRoster readRoster(const std::string &path);
