// SPDX-License-Identifier: GPL-3.0-or-later
// Linked with the program's own main(): reports when the window is shown
// and the resident memory idle and with 10,000 rows, then closes the window.

#include "benchsupport.h"
#include "jobtable.h"

#include <QApplication>
#include <QTableWidget>
#include <QTimer>

namespace {

void startProbe()
{
    // Runs once the event loop has started, that is once main() has shown the window.
    QTimer::singleShot(0, [] {
        QWidget *window = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (widget->inherits("Quorvel"))
                window = widget;
        std::printf("shown %d\n", window && window->isVisible() ? 1 : 0);
        std::fflush(stdout);
        if (qEnvironmentVariableIsSet("QUORVEL_BENCH_SHOW_ONLY")) {
            window->close();
            return;
        }
        QTimer::singleShot(500, [window] {
            std::printf("idle-rss-kb %ld\n", statusKb("VmRSS"));
            QStringList paths;
            for (int i = 0; i < 10000; ++i)
                paths << QStringLiteral("/home/user/Videos/holiday %1/clip %1.mp4").arg(i);
            JobTable::appendRows(window->findChild<QTableWidget *>(QStringLiteral("videoTableWidget")), paths);
            QCoreApplication::processEvents();
            std::printf("rows-rss-kb %ld\n", statusKb("VmRSS"));
            std::fflush(stdout);
            window->close();
        });
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
