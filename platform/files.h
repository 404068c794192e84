// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The file system calls whose meaning differs by operating system.
// files_posix.cpp: Linux and other POSIX systems.

// Puts `working` in place as `target` whole: its bytes on the disk first,
// then one rename over the target, then the folder's entry on the disk. The
// system's reason when it could not ("Permission denied"), or empty.
QString putInPlace(const QString &working, const QString &target);

// A folder held open while files are written into it, so that they can be
// removed from wherever it lies by then, renamed or moved.
class FolderHold
{
public:
    explicit FolderHold(const QString &folder);
    ~FolderHold();
    FolderHold(const FolderHold &) = delete;
    FolderHold &operator=(const FolderHold &) = delete;

    // Removes the file of that name from the held folder (from its path,
    // when the folder could not be held).
    void remove(const QString &path) const;

private:
    int m_folder = -1;
};

// Whether a process with this id runs on this machine now (one that cannot
// be asked about counts as running).
bool processAlive(qint64 pid);
