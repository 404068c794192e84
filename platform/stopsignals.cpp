// SPDX-License-Identifier: GPL-3.0-or-later
#include "stopsignals.h"

#include <csignal>

namespace {

// The signals that stop a run, with their names in its report.
constexpr struct {
    int number;
    const char *name;
} stopSignals[] = {
    { SIGINT, "SIGINT" },
    { SIGTERM, "SIGTERM" },
#ifdef SIGHUP
    { SIGHUP, "SIGHUP" },
#endif
};

} // namespace

std::vector<int> StopSignals::numbers()
{
    std::vector<int> numbers;
    for (const auto &stop : stopSignals)
        numbers.push_back(stop.number);
    return numbers;
}

QString StopSignals::reason(int signalNumber)
{
    for (const auto &stop : stopSignals) {
        if (stop.number == signalNumber)
            return QStringLiteral("stopped by ") + QLatin1String(stop.name);
    }
    return QStringLiteral("stopped");
}

int StopSignals::exitCode(int signalNumber)
{
    return 128 + signalNumber;
}
