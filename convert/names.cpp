// SPDX-License-Identifier: GPL-3.0-or-later
#include "names.h"

#include "files.h"
#include "toolcommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

#include <atomic>

namespace {

// The longest file name the file systems we write to take, in bytes of the
// name as it is passed to the system (NAME_MAX on Linux).
constexpr int maxNameBytes = 255;

QString machineName()
{
    QString name = QSysInfo::machineHostName().section(QLatin1Char('.'), 0, 0);
    for (QChar &c : name) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('-'))
            c = QLatin1Char('-');
    }
    return name.isEmpty() ? QStringLiteral("host") : name;
}

// This process's mark on its n-th file, across its batches, which may run
// at once.
QString mark()
{
    static std::atomic<int> files { 0 };
    return QStringLiteral(".quorvel-") + processTag() + QLatin1Char('-') + QString::number(++files) + QLatin1Char('.');
}

int nameBytes(const QString &name)
{
    return QFile::encodeName(name).size();
}

// The longest start of `text` that takes at most `bytes`, never half a
// letter; `fromEnd` takes the longest end instead.
QString fitted(const QString &text, int bytes, bool fromEnd)
{
    int length = 0;
    while (length < text.size()) {
        int next = length + 1;
        const QChar edge = fromEnd ? text.at(text.size() - next) : text.at(length);
        if (next < text.size() && (fromEnd ? edge.isLowSurrogate() : edge.isHighSurrogate()))
            ++next;
        if (nameBytes(fromEnd ? text.right(next) : text.left(next)) > bytes)
            break;
        length = next;
    }
    return fromEnd ? text.right(length) : text.left(length);
}

// The process id in a name this program makes, or 0 when it is not one, or
// another machine's. The build before this one named the temporary file
// "quorvel-tmp.<machine>.<process>.<n>.avi": those are known too.
qint64 ownerOf(const QString &name)
{
    static const QRegularExpression ours(QStringLiteral("^\\.quorvel-([A-Za-z0-9-]+)-(\\d+)-\\d+\\."));
    static const QRegularExpression earlier(QStringLiteral("^quorvel-tmp\\.([A-Za-z0-9-]+)\\.(\\d+)\\.\\d+\\.avi$"));
    QRegularExpressionMatch match = ours.match(name);
    if (!match.hasMatch())
        match = earlier.match(name);
    if (!match.hasMatch() || match.captured(1) != machineName())
        return 0;
    return match.captured(2).toLongLong();
}

} // namespace

QString processTag()
{
    static const QString tag = machineName() + QLatin1Char('-') + QString::number(QCoreApplication::applicationPid());
    return tag;
}

QString buildTargetPath(const QString &baseName, const QString &outputFolder, const QString &suffix)
{
    return outputFolder + QLatin1Char('/') + baseName + QLatin1Char('.') + suffix;
}

QString targetFileName(const QString &sourcePath, const QString &suffix)
{
    return baseNameOf(sourcePath) + QLatin1Char('.') + suffix;
}

bool nameFits(const QString &fileName)
{
    return nameBytes(fileName) <= maxNameBytes;
}

QString temporaryNameFor(const QString &folder)
{
    return folder + QLatin1Char('/') + mark() + QStringLiteral("tmp.avi");
}

QString workingNameFor(const QString &target)
{
    const QFileInfo file(target);
    const QString start = mark();
    const QString part = QStringLiteral(".part");
    QString name = file.fileName();
    const int room = maxNameBytes - nameBytes(start) - nameBytes(part);
    if (nameBytes(name) > room) {
        const QString hash = QStringLiteral("~%1~").arg(qHash(name), 8, 16, QLatin1Char('0'));
        const int half = (room - hash.size()) / 2;
        name = fitted(name, half, false) + hash + fitted(name, half, true);
    }
    return file.path() + QLatin1Char('/') + start + name + part;
}

QString probeTemplateFor(const QString &folder)
{
    return folder + QLatin1Char('/') + mark() + QStringLiteral("probe.XXXXXX");
}

int removeLeftovers(const QString &folder)
{
    const qint64 self = QCoreApplication::applicationPid();
    int removed = 0;
    const QStringList names = QDir(folder).entryList({ QStringLiteral(".quorvel-*"), QStringLiteral("quorvel-tmp.*") },
                                                     QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const qint64 owner = ownerOf(name);
        if (owner == self || owner <= 0 || processAlive(owner))
            continue;
        removed += QFile::remove(folder + QLatin1Char('/') + name) ? 1 : 0;
    }
    return removed;
}

QString absolutePath(const QString &path)
{
    return path.isEmpty() ? path : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return absolutePath(a) == absolutePath(b);
}
