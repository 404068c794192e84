// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class Stop;

// One source's conversion, as the window and the command line both run it:
// the pre-process when the source is not AVI, then the transcode, each step
// reported, judged by its output and its file, and cleaned up after.

struct Job;

struct ConversionSteps {
    // "Pre process", "Converting", "Success", "Failed": each status before its
    // step's tool starts, each outcome after the tool has ended.
    std::function<void(const QString &status)> report;
    // The conversion's progress, 0 to 100: never down, at most ten a second.
    std::function<void(int percent)> progress;
};

struct ConversionResult {
    enum class Outcome { Success, Failed, Stopped };
    Outcome outcome = Outcome::Failed;
    // Why it failed (the first step that failed says); empty on success.
    QString reason;
};

// Runs the job's commands on the calling thread: the pre-process when it
// has one, then the transcode, or the one ffmpeg pass ("Converting" and its
// outcome are then the only statuses). A stop ends the running tool (it is
// reaped before this returns) and removes what the conversion wrote: the
// temporary file and a target that this run touched. A failed conversion
// removes a target that it touched too; a file that it never touched, such
// as an earlier good result, stays. A refused job runs nothing and fails.
ConversionResult convertJob(const Job &job, const ConversionSteps &steps, const Stop &stop);

// The status texts.
extern const QString preProcessText;
extern const QString convertingText;
extern const QString successText;
extern const QString failedText;
extern const QString stoppedText;
