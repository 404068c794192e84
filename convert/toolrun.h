#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

// Runs one tool command line to its end on the calling thread and tells
// whether the tool printed its marker, on standard output or standard error.
// The marker alone decides: exit code and exit status are not consulted, and
// a tool that cannot be started never prints it.
//
// Both channels are drained as they arrive (a local event loop), so neither
// fills up however long the tool talks. When stopRequested becomes true the
// tool is terminated, killed after a short grace period, and reaped; the run
// then reports no marker.
bool runTool(const QString &command, const QByteArray &marker, const std::atomic_bool &stopRequested);
