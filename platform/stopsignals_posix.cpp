// SPDX-License-Identifier: GPL-3.0-or-later
#include "stopsignals.h"

#include "pause.h"
#include "stop.h"

#include <QSocketNotifier>

#include <atomic>
#include <vector>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::vector<int> stopSignals = StopSignals::numbers();
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

// Whether /proc/<pid>/status, read whole into `text`, shows a signal of
// `mask` pending for the process ("ShdPnd:") or its main thread ("SigPnd:").
bool pendingIn(const char *text, unsigned long long stopMask)
{
    for (const char *line = text; *line != 0;) {
        const bool pendingLine = (line[0] == 'S' && line[1] == 'h' && line[2] == 'd' && line[3] == 'P')
            || (line[0] == 'S' && line[1] == 'i' && line[2] == 'g' && line[3] == 'P');
        const char *at = line;
        while (*at != 0 && *at != '\n')
            ++at;
        if (pendingLine && at - line > 8) {
            unsigned long long mask = 0;
            for (const char *digit = line + 8; digit < at; ++digit) {
                const char c = *digit;
                const int value = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
                if (value >= 0)
                    mask = mask << 4 | unsigned(value);
            }
            if (mask & stopMask)
                return true;
        }
        line = *at == 0 ? at : at + 1;
    }
    return false;
}

// A stopped program runs nothing, and its stop signals, blocked for the
// signalfd, stay pending: SIGTERM would not end it until it is continued,
// where an ordinary stopped program dies at once. So while it is stopped, a
// child watches it and continues it as soon as a stop signal waits; the
// program then stops the batch as it would running. The child of a program
// with threads may take no lock: raw system calls only, the path made
// before the fork. It dies with the program, and is killed when the program
// goes on.
pid_t watchWhileStopped()
{
    const pid_t program = getpid();
    unsigned long long stopMask = 0;
    for (const int number : stopSignals)
        stopMask |= 1ULL << (number - 1);
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", int(program));
    const pid_t child = fork();
    if (child != 0)
        return child; // -1 when it cannot be made: the program stops unwatched
    syscall(SYS_prctl, PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (syscall(SYS_getppid) != program)
        syscall(SYS_exit_group, 0);
    static char text[8192];
    for (;;) {
        const long fd = syscall(SYS_openat, AT_FDCWD, path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            syscall(SYS_exit_group, 0);
        const long got = syscall(SYS_read, fd, text, sizeof text - 1);
        syscall(SYS_close, fd);
        text[got > 0 ? got : 0] = 0;
        if (pendingIn(text, stopMask))
            syscall(SYS_kill, program, SIGCONT); // again until the program has read it
        const struct timespec tick = { 0, 50 * 1000 * 1000 };
        syscall(SYS_nanosleep, &tick, nullptr);
    }
}

void endWatch(qint64 &watch)
{
    if (watch <= 0)
        return;
    kill(pid_t(watch), SIGKILL);
    while (waitpid(pid_t(watch), nullptr, 0) < 0 && errno == EINTR) { }
    watch = 0;
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
                endWatch(m_watch);
                m_watch = watchWhileStopped();
                raise(SIGSTOP);
            } else if (number == SIGCONT) {
                endWatch(m_watch);
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
    endWatch(m_watch);
    m_notifier.reset();
    close(m_fd);
}

int StopSignals::received()
{
    const int noted = firstSignal.load();
    return noted != 0 ? noted : pendingStopSignal();
}
