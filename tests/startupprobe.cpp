// SPDX-License-Identifier: GPL-3.0-or-later
// Linked with the program's own main(): runs as the application object is
// created, reports the paths that start-up fixed, and then either closes the
// window at once or, when QUORVEL_PROBE_CONVERT names a source file, converts
// it and closes the window once QUORVEL_PROBE_CLOSE_WHEN names a file that
// exists (never, when unset).

#include "paths.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

void print(const char *key, const QString &value)
{
    std::printf("%s=%s\n", key, value.toUtf8().constData());
    std::fflush(stdout);
}

QWidget *mainWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("Quorvel"))
            return widget;
    }
    return nullptr;
}

void closeWindowWhen(const QString &flagFile)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [flagFile] {
        if (QFile::exists(flagFile) && mainWindow())
            mainWindow()->close();
    });
    poll->start(20);
}

void startProbe()
{
    print("currentPath", currentPath);
    print("ffmpegPath", ffmpegPath);
    print("mencoderPath", mencoderPath);
    print("outputPath", outputPath);

    const QString source = qEnvironmentVariable("QUORVEL_PROBE_CONVERT");
    QTimer::singleShot(0, [source] {
        QWidget *window = mainWindow();
        if (!window)
            return;
        print("windowShown", window->isVisible() ? QStringLiteral("yes") : QStringLiteral("no"));
        // The rows it came back with: source, status and tooltip of each.
        auto *rows = window->findChild<QTableWidget *>(QStringLiteral("videoTableWidget"));
        print("rows", QString::number(rows->rowCount()));
        for (int row = 0; row < rows->rowCount(); ++row) {
            const QTableWidgetItem *status = rows->item(row, 3);
            print(qPrintable(QStringLiteral("row%1").arg(row)),
                  rows->item(row, 0)->text() + QLatin1Char('|') + (status ? status->text() : QString())
                      + QLatin1Char('|') + (status ? status->toolTip() : QString()));
        }
        if (source.isEmpty()) {
            window->close();
            return;
        }
        auto *table = window->findChild<QTableWidget *>(QStringLiteral("videoTableWidget"));
        table->insertRow(0);
        table->setItem(0, 0, new QTableWidgetItem(source));
        window->findChild<QPushButton *>(QStringLiteral("convertBtn"))->click();
        if (qEnvironmentVariableIsSet("QUORVEL_PROBE_CLOSE_WHEN"))
            closeWindowWhen(qEnvironmentVariable("QUORVEL_PROBE_CLOSE_WHEN"));
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
