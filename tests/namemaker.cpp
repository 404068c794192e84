// SPDX-License-Identifier: GPL-3.0-or-later
// Makes, in the folder it is given, one file under each name the program
// gives a file beside its targets, and ends: what it leaves is what a
// Quorvel that died would leave.

#include "names.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryFile>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = app.arguments().value(1);
    for (const QString &name : { temporaryNameFor(folder), workingNameFor(folder + QStringLiteral("/clip.avi")),
                                 workingNameFor(folder + QLatin1Char('/') + QString(250, QLatin1Char('L'))) }) {
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
    }
    QTemporaryFile probe(probeTemplateFor(folder));
    probe.setAutoRemove(false);
    // Asking for its name gives the file one where the system could have
    // made it without (O_TMPFILE), as a crash on another file system would.
    return probe.open() && QFile::exists(probe.fileName()) ? 0 : 1;
}
