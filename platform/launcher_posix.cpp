// SPDX-License-Identifier: GPL-3.0-or-later
#include "launcher.h"

#include "pause.h"
#include "stop.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <sys/eventfd.h>
#include <sys/prctl.h>
#endif

extern char **environ;

namespace {

constexpr int terminateGraceMs = 300;
// Without a pidfd or an eventfd, and during the grace, waits look again this often.
constexpr int fallbackPollMs = 20;

// A descriptor closed when it goes.
struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int value)
        : fd(value)
    {
    }
    ~Descriptor()
    {
        if (fd >= 0)
            close(fd);
    }
    Q_DISABLE_COPY(Descriptor)
};

void closeFd(int &fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// A pipe whose two ends are close-on-exec and above the standard three, so
// that placing them on 0, 1 and 2 in the child never overwrites another.
bool makePipe(int ends[2])
{
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        if (ends[i] > 2)
            continue;
        const int moved = fcntl(ends[i], F_DUPFD_CLOEXEC, 3);
        close(ends[i]);
        ends[i] = moved;
    }
    if (ends[0] >= 0 && ends[1] >= 0)
        return true;
    closeFd(ends[0]);
    closeFd(ends[1]);
    return false;
}

// Everything the child needs, made before it exists: between vfork and exec
// it shares the program's memory and may not allocate, lock or touch
// anything of the program's.
struct ChildSetup {
    const char *program;
    char *const *argv;
    char *const *envp;
    int input; // the child's ends of its three pipes
    int output;
    int error;
    int report; // tells the parent why the exec failed
    pid_t parent;
};

// Runs in the child until exec: async-signal-safe calls only.
[[noreturn]] void execChild(const ChildSetup &setup)
{
    // A handler of the program's must not run here, on memory it shares
    // with the program; the exec would reset them anyway.
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    for (int number = 1; number < NSIG; ++number) {
        struct sigaction current = {};
        if (sigaction(number, nullptr, &current) == 0 && current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN)
            sigaction(number, &byDefault, nullptr);
    }
    setpgid(0, 0);
#ifdef Q_OS_LINUX
    // The tool dies with the thread that started it, which waits for it:
    // if the program is killed, nobody would read the tool any more.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    int failure = 0;
    if (getppid() != setup.parent) // the program died before the request took hold
        failure = ESRCH;
    if (!failure && (dup2(setup.input, 0) < 0 || dup2(setup.output, 1) < 0 || dup2(setup.error, 2) < 0))
        failure = errno;
#ifdef CLOSE_RANGE_CLOEXEC
    // Nothing else the program holds open reaches the tool.
    if (!failure)
        close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
#endif
    if (!failure) {
        // The program blocked every signal around vfork (and quorvel-batch
        // blocks its stop signals always): the tool starts with none.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(setup.program, setup.argv, setup.envp);
        failure = errno;
    }
    while (write(setup.report, &failure, sizeof failure) < 0 && errno == EINTR) { }
    _exit(127);
}

} // namespace

struct ToolProcess::Native {
    int input = -1; // our end of the tool's standard input
    int output = -1;
    int error = -1;
    int exited = -1; // a pidfd: readable once the tool has ended
};

ToolProcess::ToolProcess()
    : m_native(std::make_unique<Native>())
{
}

ToolProcess::~ToolProcess()
{
    if (m_pid > 0)
        endGroup();
    closeAll();
}

bool ToolProcess::start(const QString &program, const QStringList &arguments)
{
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> words { path };
    for (const QString &argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int input[2] = { -1, -1 };
    int output[2] = { -1, -1 };
    int error[2] = { -1, -1 };
    int report[2] = { -1, -1 };
    const auto closeChildEnds = [&] {
        closeFd(input[0]);
        closeFd(output[1]);
        closeFd(error[1]);
        closeFd(report[1]);
    };
    if (!makePipe(input) || !makePipe(output) || !makePipe(error) || !makePipe(report)) {
        closeChildEnds();
        for (int fd : { input[1], output[0], error[0], report[0] })
            closeFd(fd);
        return false;
    }
    m_native->input = input[1];
    m_native->output = output[0];
    m_native->error = error[0];
    fcntl(m_native->output, F_SETFL, fcntl(m_native->output, F_GETFL) | O_NONBLOCK);
    fcntl(m_native->error, F_SETFL, fcntl(m_native->error, F_GETFL) | O_NONBLOCK);

    const ChildSetup setup {
        path.constData(), argv.data(), environ, input[0], output[1], error[1], report[1], getpid()
    };
    // No handler of the program's may run in the child before it has reset
    // them; only this thread waits, and only until the exec.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const pid_t pid = vfork();
    if (pid == 0)
        execChild(setup);
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    closeChildEnds();
    if (pid < 0) {
        m_startError = qt_error_string(forkError);
        closeFd(report[0]);
        closeAll();
        return false;
    }
    m_pid = pid;

    // The report pipe closes at a successful exec, or brings its errno.
    int failure = 0;
    ssize_t got;
    while ((got = read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) { }
    closeFd(report[0]);
    if (got == ssize_t(sizeof failure)) {
        reap();
        closeAll();
        // exec says "Permission denied" of a folder; the user knows it as one.
        if (failure == EACCES && QFileInfo(program).isDir())
            failure = EISDIR;
        m_startError = qt_error_string(failure);
        return false;
    }
#if defined(Q_OS_LINUX) && defined(SYS_pidfd_open)
    m_native->exited = int(syscall(SYS_pidfd_open, pid, 0));
#endif
    return true;
}

ToolProcess::End ToolProcess::run(const QString &program, const QStringList &arguments, const Stop &stop,
                                  const std::function<void(Channel, const QByteArray &)> &onOutput,
                                  Pause *pause)
{
    if (stop.isRequested())
        return End::Stopped;
    if (!start(program, arguments))
        return QFileInfo::exists(program) ? End::NotStarted : End::NotFound;
    m_pause = pause;
    if (m_pause)
        m_pause->enter(tree());

        // A stop's request wakes the poll below at once, from whichever thread.
#ifdef Q_OS_LINUX
    const Descriptor wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
#else
    const Descriptor wake;
#endif
    const int wakeFd = wake.fd;
    const Stop::Watch wakeOnStop(stop, [wakeFd] {
        const std::uint64_t one = 1;
        if (wakeFd >= 0 && write(wakeFd, &one, sizeof one) < 0) {
            // Already readable: the counter is full, which wakes as well.
        }
    });
    const int timeout = wakeFd >= 0 && m_native->exited >= 0 ? -1 : fallbackPollMs;

    char buffer[65536];
    // One read per call while the tool runs, so that a flood on one channel
    // never keeps the other, or a stop, waiting; `all` empties the pipe.
    const auto readFrom = [&](int &fd, Channel channel, bool all) {
        while (fd >= 0) {
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got > 0) {
                if (onOutput)
                    onOutput(channel, QByteArray(buffer, int(got)));
                if (all)
                    continue;
            } else if (got == 0) {
                closeFd(fd); // end of file: every writer has gone
            } else if (errno == EINTR) {
                continue;
            }
            return;
        }
    };

    for (;;) {
        pollfd waits[] = {
            { m_native->output, POLLIN, 0 }, { m_native->error, POLLIN, 0 }, { wakeFd, POLLIN, 0 }, { m_native->exited, POLLIN, 0 }
        };
        if (poll(waits, 4, timeout) < 0 && errno != EINTR)
            break;
        if (waits[0].revents != 0)
            readFrom(m_native->output, Channel::Output, false);
        if (waits[1].revents != 0)
            readFrom(m_native->error, Channel::Error, false);
        if (stop.isRequested()) {
            endGroup();
            return End::Stopped;
        }
        if (hasExited())
            break;
    }

    // Whatever it wrote before it exited is in the pipes; whatever it left
    // running in its group goes with it, so no writer keeps them open.
    kill(-pid_t(m_pid), SIGKILL);
    readFrom(m_native->output, Channel::Output, true);
    readFrom(m_native->error, Channel::Error, true);
    reap();
    closeAll();
    return m_signal != 0 ? End::Crashed : End::Finished;
}

// Terminate, a short grace, kill, and always a wait, for the whole group.
void ToolProcess::endGroup()
{
    kill(-pid_t(m_pid), SIGTERM);
    kill(-pid_t(m_pid), SIGCONT); // a paused tool takes its terminate only once it runs
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(terminateGraceMs);
    char discard[65536];
    while (!hasExited() && std::chrono::steady_clock::now() < deadline) {
        // What it prints as it ends must not fill a pipe and hold it up.
        pollfd waits[] = { { m_native->output, POLLIN, 0 }, { m_native->error, POLLIN, 0 }, { m_native->exited, POLLIN, 0 } };
        poll(waits, 3, fallbackPollMs);
        for (int *fd : { &m_native->output, &m_native->error }) {
            if (*fd >= 0 && read(*fd, discard, sizeof discard) == 0)
                closeFd(*fd);
        }
    }
    kill(-pid_t(m_pid), SIGKILL);
    reap();
    closeAll();
}

// Looked at without reaping it: its group id stays ours until then.
bool ToolProcess::hasExited() const
{
    siginfo_t ended = {};
    return waitid(P_PID, id_t(m_pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == pid_t(m_pid);
}

void ToolProcess::reap()
{
    if (m_pause)
        m_pause->leave(tree()); // before its id can be anyone else's
    m_pause = nullptr;
    int status = 0;
    pid_t got;
    while ((got = waitpid(pid_t(m_pid), &status, 0)) < 0 && errno == EINTR) { }
    if (got == pid_t(m_pid)) {
        if (WIFSIGNALED(status))
            m_signal = WTERMSIG(status);
        else if (WIFEXITED(status))
            m_exitCode = WEXITSTATUS(status);
    }
    m_pid = 0;
}

void ToolProcess::closeAll()
{
    closeFd(m_native->input);
    closeFd(m_native->output);
    closeFd(m_native->error);
    closeFd(m_native->exited);
}

qint64 ToolProcess::tree() const
{
    return m_pid; // the tool leads a process group of its own
}

namespace {

// An apostrophe inside single quotes is written as '\''.
QString shellQuoted(const QString &word, bool alwaysQuoted)
{
    static const QString plain = QStringLiteral("-_./:=,+%@");
    const bool bare = !alwaysQuoted && !word.isEmpty() && std::all_of(word.cbegin(), word.cend(), [](QChar c) {
        return (c.unicode() < 0x80 && c.isLetterOrNumber()) || plain.contains(c);
    });
    if (bare)
        return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

QString shellLine(const QStringList &words)
{
    // The program always quoted: a bare word with '=' could read as an
    // assignment in its place.
    QStringList quoted;
    for (int i = 0; i < words.size(); ++i)
        quoted << shellQuoted(words.at(i), i == 0);
    return quoted.join(QLatin1Char(' '));
}

void holdToolTree(qint64 tree, bool hold)
{
    ::kill(-pid_t(tree), hold ? SIGSTOP : SIGCONT);
}
