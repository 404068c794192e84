// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

// The command line's terminal. console_posix.cpp: Linux and other POSIX
// systems.

// Whether the stream is a terminal that a person reads.
bool isTerminal(std::FILE *stream);
// The terminal's width in columns; 80 when it does not say.
int terminalColumns(std::FILE *terminal);

// Local times are read with the time zone fixed once for the process, so
// that threads comparing file times never reread it (glibc rereads
// /etc/localtime for each time when TZ is unset, under a lock of its own,
// which the workers would contend for and ThreadSanitizer, which cannot see
// that lock, report). The tools inherit the same zone.
void pinLocalTimeZone();
