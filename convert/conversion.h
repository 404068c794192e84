// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

class Pause;
class Stop;

// One source's conversion, as the window and the command line both run it:
// the pre-process when the source is not AVI, then the transcode, each step
// reported, judged by its output and its file, and cleaned up after.

struct Job;

// Where a job stands: waiting, in one of its steps, or ended.
enum class Stage { Waiting, PreProcessing, Converting, Succeeded, Failed, Stopped, Skipped };

// A stage in words, as both programs show it: "Pre process", "Converting",
// "Success", "Failed", "Stopped", and quorvel-batch's "Skipped" for a
// source converted already; nothing while waiting.
QString stageText(Stage stage);

struct ConversionSteps {
    // PreProcessing and Converting before their step's tool starts; each
    // step's outcome, Succeeded or Failed, after its tool has ended.
    std::function<void(Stage)> report;
    // The conversion's progress, 0 to 100: never down, at most ten a second.
    std::function<void(int percent)> progress;
    // Holds the tools while the batch is paused; none: never paused.
    Pause *pause = nullptr;
};

struct ConversionResult {
    Stage outcome = Stage::Failed; // Succeeded, Failed or Stopped
    // Why it failed (the first step that failed says); empty on success.
    QString reason;
};

// Runs the job's commands on the calling thread: the pre-process when it
// has one, then the transcode, or the one ffmpeg pass ("Converting" and its
// outcome are then the only stages reported). The result is written under
// the job's working name and, once it is known to be good, flushed to the
// disk and renamed onto the target in one step: the target's name never
// holds a partial file, and a failed or stopped run leaves whatever stood
// there before byte for byte. A stop ends the running tool (it is reaped
// before this returns); the temporary and working files always go. A
// refused job runs nothing and fails.
ConversionResult convertJob(const Job &job, const ConversionSteps &steps, const Stop &stop);

// Puts a good result in place whole: its bytes on the disk first, then one
// rename onto the target, so that the target's name never holds a partial
// file, and an earlier result stays as it was until the new one replaces
// it. Why it could not, or empty.
QString publishResult(const QString &workingPath, const QString &targetPath);
