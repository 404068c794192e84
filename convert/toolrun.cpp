#include "toolrun.h"

#include "markersearch.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int stopPollMs = 25;
constexpr int terminateGraceMs = 500;
constexpr int reapTimeoutMs = 5000;

// A tool process that dies with the program: if Quorvel is killed or crashes
// while the tool runs, nobody would read the tool's output any more, so the
// kernel is asked to kill it. (The signal follows the thread that started the
// tool, which waits for it to end; and it survives the exec of a launcher
// into the real tool.)
class ToolProcess : public QProcess
{
public:
    ToolProcess()
#ifdef Q_OS_LINUX
        : m_parentPid(getpid())
#endif
    {
    }

protected:
    void setupChildProcess() override
    {
#ifdef Q_OS_LINUX
        // Runs in the child between fork and exec: only async-signal-safe calls.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != m_parentPid)
            _exit(127); // the program died before the request took hold
#endif
    }

private:
#ifdef Q_OS_LINUX
    pid_t m_parentPid;
#endif
};

void stopTool(QProcess &process)
{
    process.terminate();
    if (process.waitForFinished(terminateGraceMs))
        return;
    process.kill();
    process.waitForFinished(reapTimeoutMs);
}

} // namespace

bool runTool(const QString &command, const QByteArray &marker, const std::atomic_bool &stopRequested)
{
    QStringList arguments = QProcess::splitCommand(command);
    if (arguments.isEmpty() || stopRequested)
        return false;
    const QString program = arguments.takeFirst();

    MarkerSearch inOutput(marker);
    MarkerSearch inErrors(marker);
    ToolProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::readyReadStandardOutput,
                     [&] { inOutput.feed(process.readAllStandardOutput()); });
    QObject::connect(&process, &QProcess::readyReadStandardError,
                     [&] { inErrors.feed(process.readAllStandardError()); });
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });
    QTimer stopPoll;
    stopPoll.setInterval(stopPollMs);
    QObject::connect(&stopPoll, &QTimer::timeout, &loop, [&] {
        if (stopRequested)
            loop.quit();
    });

    // Standard input stays an open pipe that nothing is written to.
    process.start(program, arguments, QIODevice::ReadWrite);
    if (process.state() != QProcess::NotRunning) {
        stopPoll.start();
        loop.exec();
    }
    if (stopRequested && process.state() != QProcess::NotRunning) {
        stopTool(process);
        return false;
    }
    // Whatever arrived after the last notification.
    inOutput.feed(process.readAllStandardOutput());
    inErrors.feed(process.readAllStandardError());
    return inOutput.found() || inErrors.found();
}
