// SPDX-License-Identifier: GPL-3.0-or-later
#include "keptrows.h"
#include "quorvel.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Quorvel window;
    // The rows not yet converted outlive the window: kept in the user's data
    // folder, and shown again here. Gone before the window, with its last
    // write.
    KeptRows keptRows(window.jobTable());
    keptRows.restore(window.folderText());
    window.show();
    return app.exec();
}
