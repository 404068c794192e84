// SPDX-License-Identifier: GPL-3.0-or-later
#include "quorvel.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    Quorvel window;
    window.show();
    return app.exec();
}
