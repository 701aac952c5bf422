#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zq4::bench {

double milliseconds(std::chrono::nanoseconds span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

QString ms(double value) {
    return QStringLiteral("%1 ms").arg(value, 0, 'f', value < 10 ? 2 : 1);
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto rank =
        static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

QString verdict(bool met) {
    return met ? QStringLiteral("met") : QStringLiteral("MISSED");
}

void printTable(const std::vector<Row>& rows) {
    const Row header{QStringLiteral("figure"), QStringLiteral("measured"), QStringLiteral("target"),
                     QString()};
    qsizetype widths[3] = {header.figure.size(), header.measured.size(), header.target.size()};
    for (const Row& row : rows) {
        widths[0] = std::max(widths[0], row.figure.size());
        widths[1] = std::max(widths[1], row.measured.size());
        widths[2] = std::max(widths[2], row.target.size());
    }
    const auto print = [&](const Row& row) {
        const QString line = QStringLiteral("%1  %2  %3  %4")
                                 .arg(row.figure, -static_cast<int>(widths[0]))
                                 .arg(row.measured, -static_cast<int>(widths[1]))
                                 .arg(row.target, -static_cast<int>(widths[2]))
                                 .arg(row.verdict)
                                 .trimmed();
        std::printf("%s\n", qPrintable(line));
    };
    print(header);
    for (const Row& row : rows) {
        print(row);
    }
    std::fflush(stdout);
}

} // namespace zq4::bench
