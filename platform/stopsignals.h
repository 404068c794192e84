// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <vector>

class Pause;
class QSocketNotifier;
class Stop;

// Turns SIGINT, SIGTERM and SIGHUP into a request of a Stop, on the thread
// that made this object (its event loop must run). The three are blocked
// and read from a signalfd, so no handler runs at an arbitrary moment: make
// this before any other thread, which then inherits the mask. A closed
// standard output makes writes fail instead of killing the program (and
// leaving its tools behind): SIGPIPE gets a handler that does nothing.
//
// The tools start with every signal open, each in a process group of its
// own: a signal to the program's group (Ctrl-C) does not reach them, and the
// program stops them; one that does not take SIGTERM is killed after the
// stop's grace period. A scheduler that signals every process of the job
// reaches them too, and the program reads their end as stopped.
//
// On Windows (stopsignals_win.cpp) Ctrl+C counts as SIGINT, and Ctrl+Break
// and closing the console as SIGTERM; there is no SIGTSTP there.
//
// SIGTSTP (Ctrl-Z, a scheduler's suspend, `kill -TSTP`) holds the run: the
// tools, each in a process group of its own, are stopped through `pause`,
// then the program stops itself. SIGCONT lets both go on. A stop signal to
// the stopped program ends the run as it would a running one: a small
// watching process continues the program for it.
class StopSignals
{
public:
    StopSignals(Stop &stop, Pause &pause);
    ~StopSignals();
    Q_DISABLE_COPY(StopSignals)

    // The stop signal received, or on its way (sent to the program and
    // still pending); 0 before any. Any thread, from the moment the signal
    // is sent, so a worker knows at once that a tool which ended meanwhile
    // may have had it too.
    static int received();

    // The reason of a Stopped line for a stop signal: "stopped by SIGINT"
    // and the like.
    static QString reason(int signalNumber);
    // The exit status after one: 128 and its number, as a shell reports a
    // program the signal ended (130, 143, 129).
    static int exitCode(int signalNumber);
    // The stop signals: SIGINT, SIGTERM and, where there is one, SIGHUP.
    static std::vector<int> numbers();

private:
    int m_fd = -1;
    qint64 m_watch = 0; // while the program is stopped: continues it for a stop signal
    std::unique_ptr<QSocketNotifier> m_notifier;
};
