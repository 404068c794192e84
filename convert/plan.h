// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "paths.h"
#include "toolcommands.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// How a batch converts: the same for every job planned with it.
struct PlanSettings {
    QString scale; // "320:240" and the like
    QString outputFolder = outputPath;
    QString ffmpeg = ffmpegPath;
    QString mencoder = mencoderPath;
    bool direct = false; // one ffmpeg pass instead of the pre-process and the transcode
    Format format = Format::Avi; // AMV and MP4 are always made in one pass
    Picture picture = Picture::KeepShape;
    int decoderThreads = 0; // the one pass's decoder threads; 0 lets ffmpeg choose
    // Why the output folder cannot take results; every job is refused with it.
    QString outputProblem;
};

// One source's conversion, fixed before any tool runs: where it writes and
// the commands that do it, or why it cannot be converted at all.
struct Job {
    int number = 0; // its place in the batch, from 0
    QString source; // absolute, so that no tool reads it as an option
    QString target;
    // Where the step that writes the result writes it: a hidden name of this
    // process's beside the target, renamed onto it only once the result is
    // known to be good.
    QString working;
    QString temporary; // the pre-process's own file; empty without one
    // Why no tool runs for it (a missing or text file, a target taken by an
    // earlier source); empty when it can be converted.
    QString refusal;
    std::optional<ToolCommand> preProcess;
    ToolCommand transcode; // mencoder, or the one ffmpeg pass
    // The one pass again with a silent track, for a source that turns out to
    // have no sound where the format must carry one (AMV).
    std::optional<ToolCommand> withSilence;
    bool direct = false;
};

// Plans a batch's jobs one by one, in the batch's order. The first source
// that claims a target keeps it: a later one with the same target is
// refused, so no result is written over by another in the same batch.
class Plan
{
public:
    // `sources`: the batch's sources, which no temporary file may be.
    explicit Plan(const QStringList &sources = QStringList());

    Job add(int number, const QString &source, const PlanSettings &settings);

private:
    QString temporaryFor(const QString &source, const QString &outputFolder);

    QMultiHash<QString, QString> m_sourcesByName; // absolute paths by file name
    QHash<QString, QString> m_firstWithTarget;
};

// Why a source cannot be converted, found without a tool: it does not
// exist, cannot be read, is empty or is a text file. Empty when none of
// these holds. Any thread.
QString sourceProblem(const QString &source);
