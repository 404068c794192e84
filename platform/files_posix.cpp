// SPDX-License-Identifier: GPL-3.0-or-later
#include "files.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

QString putInPlace(const QString &working, const QString &target)
{
    const QByteArray from = QFile::encodeName(working);
    // errno is read as each call fails: a close() after it may change it.
    const int fd = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        if (::fsync(fd) != 0)
            error = errno;
        ::close(fd);
    }
    if (error == 0 && ::rename(from.constData(), QFile::encodeName(target).constData()) != 0)
        error = errno;
    if (error != 0)
        return qt_error_string(error);
    // The rename itself is on the disk once the folder is.
    const int folder =
        ::open(QFile::encodeName(QFileInfo(target).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return QString();
}

FolderHold::FolderHold(const QString &folder)
    : m_folder(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
}

FolderHold::~FolderHold()
{
    if (m_folder >= 0)
        ::close(m_folder);
}

void FolderHold::remove(const QString &path) const
{
    if (m_folder < 0 || ::unlinkat(m_folder, QFile::encodeName(QFileInfo(path).fileName()).constData(), 0) != 0)
        QFile::remove(path);
}

bool processAlive(qint64 pid)
{
    // kill(pid, 0) fails with ESRCH only when no such process exists.
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno != ESRCH);
}
