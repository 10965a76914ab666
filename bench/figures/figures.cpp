#include "figures.h"

#include <algorithm>
#include <cstdio>

Summary summarise(std::vector<double> values)
{
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back(), n};
}

namespace {

std::string threeFigures(const Summary &summary)
{
    if (summary.count == 0)
        return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.3g / %.3g / %.3g", summary.median, summary.min,
                  summary.max);
    return text;
}

} // namespace

void printTable(const std::vector<TableRow> &rows)
{
    std::printf("| %-44s | %-8s | %-26s | %-26s | %-6s | %s |\n", "figure", "unit",
                "program median / min / max", "floor median / min / max", "ratio", "goal");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(10, '-').c_str(),
                std::string(28, '-').c_str(), std::string(28, '-').c_str(),
                std::string(8, '-').c_str(), std::string(6, '-').c_str());
    for (const TableRow &row : rows) {
        char ratio[32] = "-";
        if (row.floor.count > 0 && row.program.count > 0 && row.floor.median != 0)
            std::snprintf(ratio, sizeof ratio, "%.2f", row.program.median / row.floor.median);
        std::printf("| %-44s | %-8s | %-26s | %-26s | %-6s | %s |\n", row.figure.c_str(),
                    row.unit.c_str(), threeFigures(row.program).c_str(),
                    threeFigures(row.floor).c_str(), ratio, row.goal.c_str());
    }
    std::fflush(stdout);
}
