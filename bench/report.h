#pragma once

#include <QString>

#include <chrono>
#include <vector>

namespace zq4::bench {

using Clock = std::chrono::steady_clock;

double milliseconds(std::chrono::nanoseconds span);
// "4.02 ms" below 10 ms, "15.7 ms" above.
QString ms(double value);
// Nearest-rank percentile of a list that is not empty.
double percentile(std::vector<double> values, double fraction);

// One row of the printed table; a figure without a target leaves it and the verdict empty.
struct Row {
    QString figure;
    QString measured;
    QString target;
    QString verdict;
};

QString verdict(bool met);
void printTable(const std::vector<Row>& rows);

} // namespace zq4::bench
