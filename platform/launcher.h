// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

#include <sys/types.h>

class Pause;
class Stop;

// One tool process, started without copying the program's memory: the
// child is made with vfork() and runs only async-signal-safe calls until it
// execs, so a window that paints meanwhile pays no copy-on-write faults.
// The tool gets
// - a standard input pipe that stays open and is never written to, and its
//   standard output and error as two pipes that are read as they fill;
// - every signal open (a program that blocks its stop signals does not hand
//   that mask on), so a terminate reaches it at once;
// - a process group of its own, so that a stop reaches whatever it started;
// - death with the thread that started it (Linux), should the program be
//   killed or crash while the tool runs.
//
// launcher_posix.cpp: Linux and other POSIX systems.
class ToolProcess
{
public:
    // A tool's two channels.
    enum class Channel { Output, Error };

    enum class End {
        Finished, // ended by itself, with exitCode()
        Crashed, // ended by a signal, signal()
        NotFound, // the program file does not exist
        NotStarted, // it exists but could not be started
        Stopped, // a stop was requested: terminated, killed if need be, reaped
    };

    ToolProcess() = default;
    // A tool still running is ended and reaped.
    ~ToolProcess();
    Q_DISABLE_COPY(ToolProcess)

    // Starts `program` and waits on the calling thread until it ends or
    // `stop` is requested (a stop already requested starts nothing). Both
    // channels are read as bytes arrive and handed to `onOutput`, on this
    // thread, down to the last byte written before the tool exited.
    // When the tool ends, whatever it left running in its group ends too.
    // A stop ends the group: terminate, kill after a short grace, and reap.
    // While `pause` holds, the group is stopped; a stop continues it first.
    End run(const QString &program, const QStringList &arguments, const Stop &stop,
            const std::function<void(Channel, const QByteArray &)> &onOutput, Pause *pause = nullptr);

    int exitCode() const { return m_exitCode; }
    int signal() const { return m_signal; }
    // The tool's process id while it runs (its group's id too); 0 otherwise.
    qint64 pid() const { return m_pid; }
    // Why the system would not start it ("Permission denied", "Is a
    // directory", "Exec format error"); empty after a start.
    QString startError() const { return m_startError; }

private:
    bool start(const QString &program, const QStringList &arguments);
    void endGroup();
    bool hasExited() const;
    void reap();
    void closeAll();

    pid_t m_pid = 0;
    Pause *m_pause = nullptr;
    int m_input = -1; // our end of the tool's standard input
    int m_output = -1;
    int m_error = -1;
    int m_exited = -1; // a pidfd: readable once the tool has ended
    int m_exitCode = 0;
    int m_signal = 0;
    QString m_startError;
};
