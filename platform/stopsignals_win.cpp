// SPDX-License-Identifier: GPL-3.0-or-later
#include "stopsignals.h"

#include "stop.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>

#include <windows.h>

namespace {

std::atomic<int> firstSignal { 0 };
std::atomic<Stop *> stopToRequest { nullptr };

} // namespace

// Runs on a thread of the system's: notes the event as its signal and asks
// for the stop. Closing the console ends the program once this returns, so
// that event waits a moment for the tools to be stopped. Not static: the
// Windows tests call it for the events wine cannot deliver (Ctrl+Break).
BOOL WINAPI quorvelConsoleEvent(DWORD event)
{
    int number = 0;
    switch (event) {
    case CTRL_C_EVENT:
        number = SIGINT;
        break;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        number = SIGTERM;
        break;
    default:
        return FALSE;
    }
    int none = 0;
    firstSignal.compare_exchange_strong(none, number);
    if (Stop *stop = stopToRequest.load())
        stop->request();
    if (event == CTRL_CLOSE_EVENT)
        Sleep(2000);
    return TRUE;
}

StopSignals::StopSignals(Stop &stop, Pause &)
{
    stopToRequest.store(&stop);
    SetConsoleCtrlHandler(quorvelConsoleEvent, TRUE);
}

StopSignals::~StopSignals()
{
    SetConsoleCtrlHandler(quorvelConsoleEvent, FALSE);
    stopToRequest.store(nullptr);
}

int StopSignals::received()
{
    return firstSignal.load();
}
