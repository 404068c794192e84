// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "conversion.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <mutex>
#include <vector>

// What a run prints. Standard output gets one tab-separated line per source
// as it ends, "status<TAB>source<TAB>target<TAB>seconds<TAB>reason", and
// nothing else. When standard error is a terminal it shows one live line,
// "[3/8] 42 % clip.mp4, 1:10 left": sources begun out of all, the whole
// run's share done, the oldest source still converting, the time left.
//
// Every function may be called from any thread; all printing happens under
// one lock, so lines never mix and the live line is cleared before an
// ended source's line appears.
class BatchReport
{
public:
    BatchReport(int sources, bool live, std::FILE *out = stdout, std::FILE *err = stderr);

    void started(int index, const QString &source);
    void progressed(int index, int percent);
    // The seconds printed run from started(); 0 for a source never started.
    // `outcome`: Succeeded, Failed or Stopped; a source's first end counts.
    void ended(int index, Stage outcome, const QString &source, const QString &target, const QString &reason);
    bool anyFailed() const;

    // Draws the live line anew (called on a timer); erases it for good.
    void redraw();
    void close();

    // A field made safe for a tab-separated line: backslash, tab, line feed
    // and carriage return written as \\, \t, \n and \r.
    static QString escaped(const QString &field);

private:
    struct Source {
        Stage stage = Stage::Waiting;
        int percent = 0;
        qint64 startedMs = -1;
        QString name;
    };

    QString liveText() const;
    void eraseLive();

    mutable std::mutex m_mutex;
    std::vector<Source> m_sources;
    int m_ended = 0;
    bool m_live;
    bool m_shown = false;
    bool m_closed = false;
    bool m_anyFailed = false;
    int m_width;
    QElapsedTimer m_clock;
    std::FILE *m_out;
    std::FILE *m_err;
};
