// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers shared by the tests: fake tools in the working directory's bin/,
// the records they leave, and debug lines caught from the program.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTest>

namespace TestSupport {

// The status texts a row or a job shows.
inline const QString PP = QStringLiteral("Pre process");
inline const QString CV = QStringLiteral("Converting");
inline const QString OK = QStringLiteral("Success");
inline const QString NO = QStringLiteral("Failed");
inline const QString ST = QStringLiteral("Stopped");

inline QString fixture(const QString &name)
{
    return QStringLiteral(QUORVEL_FIXTURES_DIR "/") + name;
}

// Writes `content` to `path`, making its folder when need be.
inline void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
}

// The whole of `path`; empty when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The start of an MP4 file: no text, so the plan takes it for a video.
inline QByteArray videoBytes()
{
    return QByteArray("\x00\x00\x00\x18"
                      "ftypmp42\x00\x01",
                      14);
}

// A source file for the fake tools under videos/ in the working directory.
// Its path.
inline QString source(const QString &name)
{
    const QString path = QDir::current().filePath(QStringLiteral("videos/") + name);
    if (!QFileInfo::exists(path))
        writeFile(path, videoBytes());
    return path;
}

// Empties bin/ and output/ under the working directory.
inline void resetWorkDir()
{
    for (const char *folder : { "bin", "output" }) {
        QDir dir(QDir::current().filePath(QLatin1String(folder)));
        dir.removeRecursively();
        QFile::remove(QDir::current().filePath(QLatin1String(folder)));
        QDir::current().mkdir(QLatin1String(folder));
    }
}

// Installs the fake tool under the given name in bin/.
inline void installFakeTool(const QString &toolName)
{
    const QString target = QDir::current().filePath(QStringLiteral("bin/") + toolName);
    QFile::remove(target);
    QVERIFY(QFile::copy(fixture(QStringLiteral("fake-tool")), target));
    QVERIFY(QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner));
}

// A fresh bin/ with the fake tool as both tools, an empty output/, and the
// fake tool's settings cleared; its log and pid file in the working directory.
struct FakeTools {
    QString log = QDir::current().filePath(QStringLiteral("tools.log"));
    QString pidFile = QDir::current().filePath(QStringLiteral("tool.pid"));
};

inline FakeTools installFakeTools()
{
    FakeTools tools;
    resetWorkDir();
    installFakeTool(QStringLiteral("ffmpeg"));
    installFakeTool(QStringLiteral("mencoder"));
    QFile::remove(tools.log);
    QFile::remove(tools.pidFile);
    qputenv("QUORVEL_FAKE_LOG", tools.log.toUtf8());
    qputenv("QUORVEL_FAKE_PIDFILE", tools.pidFile.toUtf8());
    for (const char *name : { "QUORVEL_FAKE_FFMPEG", "QUORVEL_FAKE_MENCODER", "QUORVEL_FAKE_DELAY",
                              "QUORVEL_FAKE_SECONDS", "QUORVEL_FAKE_HANG_ON", "QUORVEL_FAKE_SOUND",
                              "QUORVEL_FAKE_FAIL_ON" })
        qunsetenv(name);
    return tools;
}

// One record per tool run: the tool's name, then its arguments.
inline QList<QStringList> readToolLog(const QString &logPath)
{
    QList<QStringList> runs;
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly))
        return runs;
    const QList<QByteArray> lines = log.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (!line.isEmpty())
            runs << QString::fromUtf8(line).split(QChar(0x1f));
    }
    return runs;
}

// Collects the program's debug lines while it lives.
class DebugCapture
{
public:
    DebugCapture()
    {
        QMutexLocker lock(&mutex());
        instance() = this;
        m_previous = qInstallMessageHandler(&DebugCapture::handle);
    }
    ~DebugCapture()
    {
        qInstallMessageHandler(m_previous);
        QMutexLocker lock(&mutex());
        instance() = nullptr;
    }
    QStringList lines() const
    {
        QMutexLocker lock(&mutex());
        return m_lines;
    }
    // Warning lines, kept apart from the debug lines.
    QStringList warnings() const
    {
        QMutexLocker lock(&mutex());
        return m_warnings;
    }
    int count(const QString &line) const { return lines().count(line); }
    QStringList startingWith(const QString &prefix) const
    {
        QStringList found;
        for (const QString &line : lines())
            if (line.startsWith(prefix))
                found << line;
        return found;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        QMutexLocker lock(&mutex());
        if (type == QtDebugMsg && instance())
            instance()->m_lines << message;
        if (type == QtWarningMsg && instance())
            instance()->m_warnings << message;
    }
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static DebugCapture *&instance()
    {
        static DebugCapture *current = nullptr;
        return current;
    }
    QStringList m_lines;
    QStringList m_warnings;
    QtMessageHandler m_previous;
};

// The process's state letter from /proc ('S' sleeping, 'T' stopped, 'Z' a
// zombie, ...); 0 when there is no such process.
inline char processState(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const int nameEnd = text.lastIndexOf(')');
    return nameEnd > 0 ? text.at(nameEnd + 2) : 0;
}

// True while the process exists and has not ended: a zombie, ended but
// not yet reaped by its parent, does not count.
inline bool processRunning(qint64 pid)
{
    const char state = processState(pid);
    return state != 0 && state != 'Z';
}

// True once the process is gone altogether, reaped included.
inline bool processGone(qint64 pid)
{
    return !QFile::exists(QStringLiteral("/proc/%1").arg(pid));
}

inline qint64 readPid(const QString &pidFile)
{
    QFile file(pidFile);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().trimmed().toLongLong();
}

} // namespace TestSupport
