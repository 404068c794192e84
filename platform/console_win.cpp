// SPDX-License-Identifier: GPL-3.0-or-later
#include "console.h"

#include <io.h>
#include <windows.h>

bool isTerminal(std::FILE *stream)
{
    return _isatty(_fileno(stream)) != 0;
}

int terminalColumns(std::FILE *terminal)
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(terminal)));
    if (GetConsoleScreenBufferInfo(console, &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
}

// The C runtime reads the zone from the system once.
void pinLocalTimeZone()
{
}
