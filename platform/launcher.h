// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <memory>

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

    ToolProcess();
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
    // What holds the tool and whatever it started, for Pause: its process
    // group (POSIX) or its job object (Windows); 0 while none runs.
    qint64 tree() const;
    // Why the system would not start it ("Permission denied", "Is a
    // directory", "Exec format error"); empty after a start.
    QString startError() const { return m_startError; }

private:
    bool start(const QString &program, const QStringList &arguments);
    void endGroup();
    bool hasExited() const;
    void reap();
    void closeAll();

    // The system's handles of the running tool: its pipes, and what tells
    // its end; each platform's own.
    struct Native;
    std::unique_ptr<Native> m_native;
    qint64 m_pid = 0;
    Pause *m_pause = nullptr;
    int m_exitCode = 0;
    int m_signal = 0;
    QString m_startError;
};

// Stops a tool's tree (`hold`) or lets it go on: SIGSTOP and SIGCONT to its
// process group on POSIX, each of its job's processes suspended and resumed
// on Windows.
void holdToolTree(qint64 tree, bool hold);

// The words as this system's command shell reads them back into the same
// program and arguments (the dry run): sh on POSIX, each word that holds
// more than letters, digits and -_./:=,+%@ between single quotes (the
// program always); cmd.exe on Windows, each word with a blank or a sign cmd
// reads between double quotes as the C runtime parses them, a percent sign
// left outside them and escaped.
QString shellLine(const QStringList &words);
