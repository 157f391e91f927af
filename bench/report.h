#pragma once

#include <string>
#include <vector>

namespace bench {

// One line of the results table: a figure of the program beside what the same work costs
// without the program around it, measured in the same run, and the goal it is held to.
struct ResultRow {
    std::string figure;
    std::string measured;
    std::string baseline = "-";  // what the same work costs bare; "-" when the goal is absolute
    std::string ratio = "-";
    std::string goal;
    std::string verdict;
};

// `value` printed with `decimals` places and then `unit`, such as "12.3 ms".
std::string withUnit(double value, int decimals, const std::string& unit);

// "met" when `value` stays at or under `limit`, else how far over it is ("missed by 23%").
std::string verdictAtMost(double value, double limit);

// The ratio of a figure to its baseline, as "1.23x".
std::string ratioText(double measured, double baseline);

// Prints the table in Markdown to standard output: a header, then the rows.
void printTable(const std::vector<ResultRow>& rows);

}  // namespace bench
