// SPDX-License-Identifier: GPL-3.0-or-later
#include "console.h"

#include <QByteArray>
#include <QtGlobal>

#include <ctime>

#include <sys/ioctl.h>
#include <unistd.h>

bool isTerminal(std::FILE *stream)
{
    return isatty(fileno(stream)) == 1;
}

int terminalColumns(std::FILE *terminal)
{
    winsize size = {};
    if (ioctl(fileno(terminal), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void pinLocalTimeZone()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", QByteArrayLiteral(":/etc/localtime"));
    tzset();
}
