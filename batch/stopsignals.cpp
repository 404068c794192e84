// SPDX-License-Identifier: GPL-3.0-or-later
#include "stopsignals.h"

#include "pause.h"
#include "stop.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

constexpr int stopSignals[] = { SIGINT, SIGTERM, SIGHUP };
std::atomic<int> firstSignal { 0 };

sigset_t stopSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int number : stopSignals)
        sigaddset(&set, number);
    sigaddset(&set, SIGTSTP);
    sigaddset(&set, SIGCONT);
    return set;
}

// A stop signal that is pending: sent, and not yet read from the signalfd.
int pendingStopSignal()
{
    sigset_t pending;
    if (sigpending(&pending) != 0)
        return 0;
    for (const int number : stopSignals) {
        if (sigismember(&pending, number) == 1)
            return number;
    }
    return 0;
}

void note(int number)
{
    int none = 0;
    if (number != 0)
        firstSignal.compare_exchange_strong(none, number);
}

extern "C" void ignoreBrokenPipe(int)
{
}

} // namespace

StopSignals::StopSignals(Stop &stop, Pause &pause)
{
    const sigset_t set = stopSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0)
        qFatal("cannot read signals through a signalfd");
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this, &stop, &pause] {
        // Noted while still pending, so that received() never misses it.
        note(pendingStopSignal());
        signalfd_siginfo info;
        while (read(m_fd, &info, sizeof info) == ssize_t(sizeof info)) {
            const int number = int(info.ssi_signo);
            if (number == SIGTSTP) {
                pause.pause(); // the tools first: they are not in this process group
                raise(SIGSTOP);
            } else if (number == SIGCONT) {
                pause.resume();
            } else {
                note(number);
            }
        }
        if (received() != 0)
            stop.request();
    });

    struct sigaction action = {};
    action.sa_handler = ignoreBrokenPipe;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

// The signals stay blocked until the program ends: one that is still
// pending then counts through received().
StopSignals::~StopSignals()
{
    m_notifier.reset();
    close(m_fd);
}

int StopSignals::received()
{
    const int noted = firstSignal.load();
    return noted != 0 ? noted : pendingStopSignal();
}
