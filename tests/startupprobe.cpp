// SPDX-License-Identifier: GPL-3.0-or-later
// Linked with the program's own main(): runs as the application object is
// created, reports the paths that start-up fixed, and then either closes the
// window at once or, when QUORVEL_PROBE_CONVERT names a source file, converts
// it and closes the window once QUORVEL_PROBE_CLOSE_WHEN names a file that
// exists (never, when unset). With QUORVEL_PROBE_STDIN set it keeps the
// window open and takes commands, a line each, from its standard input:
// "add <path>" appends a row, "clear" removes every row, "convert" presses
// Convert, "rows" prints the sources shown ("sources=a|b|..."), "close"
// closes the window.

#include "jobtable.h"
#include "paths.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>

#include <cstdio>

#include <unistd.h>

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

QTableWidget *tableOf(QWidget *window)
{
    return window->findChild<QTableWidget *>(QStringLiteral("videoTableWidget"));
}

void takeCommands()
{
    auto *input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, qApp);
    QObject::connect(input, &QSocketNotifier::activated, [] {
        char buffer[4096];
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        QWidget *window = mainWindow();
        if (got <= 0 || !window) {
            if (window)
                window->close();
            return;
        }
        for (const QString &line : QString::fromUtf8(buffer, int(got)).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (line.startsWith(QLatin1String("add "))) {
                JobTable::appendRows(tableOf(window), { line.mid(4) });
            } else if (line == QLatin1String("convert")) {
                window->findChild<QPushButton *>(QStringLiteral("convertBtn"))->click();
            } else if (line == QLatin1String("clear")) {
                tableOf(window)->setRowCount(0);
            } else if (line == QLatin1String("rows")) {
                QStringList sources;
                for (int row = 0; row < tableOf(window)->rowCount(); ++row)
                    sources << tableOf(window)->item(row, 0)->text();
                print("sources", sources.join(QLatin1Char('|')));
            } else if (line == QLatin1String("close")) {
                window->close();
            }
        }
    });
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
        if (qEnvironmentVariableIsSet("QUORVEL_PROBE_STDIN")) {
            takeCommands();
            return;
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
