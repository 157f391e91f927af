#include "report.h"

#include <cstdio>
#include <iostream>

namespace bench {

std::string withUnit(double value, int decimals, const std::string& unit) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return unit.empty() ? std::string(text) : std::string(text) + " " + unit;
}

std::string verdictAtMost(double value, double limit) {
    if (value <= limit) {
        return "met";
    }
    return "missed by " + withUnit((value / limit - 1) * 100, 0, "") + "%";
}

std::string ratioText(double measured, double baseline) {
    if (baseline <= 0) {
        return "-";
    }
    return withUnit(measured / baseline, 2, "") + "x";
}

void printTable(const std::vector<ResultRow>& rows) {
    std::cout << "| Figure | This program | Baseline (same run) | Ratio | Goal | Result |\n"
              << "| --- | ---: | ---: | ---: | --- | --- |\n";
    for (const ResultRow& row : rows) {
        std::cout << "| " << row.figure << " | " << row.measured << " | " << row.baseline << " | "
                  << row.ratio << " | " << row.goal << " | " << row.verdict << " |\n";
    }
    std::cout.flush();
}

}  // namespace bench
