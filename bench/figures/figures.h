#pragma once

#include <string>
#include <vector>

// The median, smallest and largest of a set of measurements.
struct Summary
{
    double median = 0;
    double min = 0;
    double max = 0;
    std::size_t count = 0;
};

Summary summarise(std::vector<double> values);

// One line of the benchmark table: a figure of the program beside the same figure of its floor.
struct TableRow
{
    std::string figure;
    std::string unit;
    Summary program;
    // No floor when count is 0.
    Summary floor;
    std::string goal;
};

// Prints the rows as one table, with each median's ratio to its floor's median.
void printTable(const std::vector<TableRow> &rows);
