// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class Stop;

// One source's conversion, as the window and the command line both run it:
// the pre-process when the source is not AVI, then the transcode, each step
// reported, judged by its output and its file, and cleaned up after.

struct ConversionJob {
    QString source;
    QString temporaryPath; // where the pre-process writes
    QString targetPath;
    // The temporary path is the source of a row in the table: it is never
    // written over or removed, and the pre-process fails instead.
    bool temporaryIsASource = false;
    // The tools; empty for the working directory's bin/.
    QString ffmpeg;
    QString mencoder;
};

struct ConversionSteps {
    // "Pre process", "Converting", "Success", "Failed": each status before its
    // step's tool starts, each outcome after the tool has ended.
    std::function<void(const QString &status)> report;
    // The scale value, read after any pre-process, just before the transcode
    // command is built.
    std::function<QString()> scale;
    // The conversion's progress, 0 to 100: never down, at most ten a second.
    std::function<void(int percent)> progress;
};

struct ConversionResult {
    enum class Outcome { Success, Failed, Stopped };
    Outcome outcome = Outcome::Failed;
    // Why it failed (the first step that failed says); empty on success.
    QString reason;
};

// Runs both steps on the calling thread. A stop ends the running tool (it
// is reaped before this returns) and removes what the conversion wrote: the
// temporary file and a target that this run touched. A failed conversion
// removes a target that it touched too; a file that it never touched, such as
// an earlier good result, stays.
ConversionResult convertSource(const ConversionJob &job, const ConversionSteps &steps, const Stop &stop);

// The same conversion in one ffmpeg pass, with no temporary file: "Converting"
// and its outcome are the only statuses; the result check, the clean-up and
// the stop work as above.
ConversionResult convertSourceDirect(const ConversionJob &job, const ConversionSteps &steps, const Stop &stop);

// True when both paths name the same file, through links or "..".
bool sameFile(const QString &a, const QString &b);

// The status texts.
extern const QString preProcessText;
extern const QString convertingText;
extern const QString successText;
extern const QString failedText;
extern const QString stoppedText;
