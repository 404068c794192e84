// SPDX-License-Identifier: GPL-3.0-or-later
#include "files.h"

#include <QDir>
#include <QFile>

#include <string>

#include <windows.h>

namespace {

std::wstring native(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

} // namespace

QString putInPlace(const QString &working, const QString &target)
{
    HANDLE file = CreateFileW(native(working).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return qt_error_string(int(GetLastError()));
    const BOOL flushed = FlushFileBuffers(file);
    const DWORD flushError = GetLastError();
    CloseHandle(file);
    if (!flushed)
        return qt_error_string(int(flushError));
    // A target that a player holds open refuses the move, and stays as it was.
    if (!MoveFileExW(native(working).c_str(), native(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return qt_error_string(int(GetLastError()));
    return QString();
}

// Windows does not rename a folder that has a file open in it for writing,
// so the files are where their paths say.
FolderHold::FolderHold(const QString &)
{
}

FolderHold::~FolderHold() = default;

void FolderHold::remove(const QString &path) const
{
    QFile::remove(path);
}

bool processAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED; // someone else's, running
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}
