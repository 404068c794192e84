// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolrun.h"

#include "stop.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>

#ifdef Q_OS_LINUX
#include <csignal>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int terminateGraceMs = 300;
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
        // A program that takes its stop signals itself (quorvel-batch blocks
        // them in every thread) must not hand that mask on: the tool starts
        // with every signal open, so a terminate reaches it at once.
        sigset_t none;
        sigemptyset(&none);
        pthread_sigmask(SIG_SETMASK, &none, nullptr);
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

QString toolName(ToolOutput::Tool tool)
{
    return tool == ToolOutput::Tool::Ffmpeg ? QStringLiteral("ffmpeg") : QStringLiteral("mencoder");
}

ToolRun runTool(ToolOutput::Tool tool, const ToolCommand &command, const Stop &stop,
                const std::function<void(const ToolOutput &)> &onOutput)
{
    ToolRun run(tool);
    run.program = command.program();
    if (stop.isRequested()) {
        run.end = ToolRun::End::Stopped;
        return run;
    }

    ToolProcess process;
    QEventLoop loop;
    const auto read = [&](ToolOutput::Channel channel) {
        process.setReadChannel(channel == ToolOutput::StandardOutput ? QProcess::StandardOutput
                                                                     : QProcess::StandardError);
        run.output.feed(channel, process.readAll());
        if (onOutput)
            onOutput(run.output);
    };
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [&] { read(ToolOutput::StandardOutput); });
    QObject::connect(&process, &QProcess::readyReadStandardError, [&] { read(ToolOutput::StandardError); });
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });

    process.start(run.program, command.arguments(), QIODevice::ReadWrite);
    if (process.state() != QProcess::NotRunning) {
        // The stop's request posts quit() to this thread's loop: it wakes the
        // loop at once, from whichever thread asks.
        const Stop::Watch wakeLoop(stop, [&loop] { QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection); });
        if (!stop.isRequested())
            loop.exec();
    }
    if (process.error() == QProcess::FailedToStart) {
        run.end = QFileInfo::exists(run.program) ? ToolRun::End::NotStarted : ToolRun::End::NotFound;
        return run;
    }
    if (process.state() != QProcess::NotRunning) {
        stopTool(process);
        run.end = ToolRun::End::Stopped;
        return run;
    }
    // Whatever arrived after the last notification.
    read(ToolOutput::StandardOutput);
    read(ToolOutput::StandardError);
    run.output.finish();
    if (process.exitStatus() == QProcess::CrashExit) {
        run.end = ToolRun::End::Crashed;
        run.signal = process.exitCode();
    } else {
        run.end = ToolRun::End::Finished;
        run.exitCode = process.exitCode();
    }
    return run;
}
