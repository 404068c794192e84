// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchoptions.h"

#include "settings.h"
#include "toolcommands.h"

#include <QCommandLineParser>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace {

const QStringList sizes = resolutionLabels();

} // namespace

std::optional<BatchOptions> parseBatchOptions(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Converts videos into files for small-screen players (AVI, AMV or MP4), as\n"
                       "the Quorvel window does, several at once. One tab-separated line per source\n"
                       "goes to standard output: status, source, target, seconds, reason."));
    const QCommandLineOption size({ "s", "size" },
                                  QStringLiteral("Target size: %1 (the first is the default).").arg(sizes.join(", ")),
                                  QStringLiteral("WxH"), sizes.first());
    const QCommandLineOption jobs(
        { "j", "jobs" }, QStringLiteral("Conversions at once (default: the number of cores, %1).").arg(defaultJobsAtOnce()),
        QStringLiteral("N"), QString::number(defaultJobsAtOnce()));
    const QCommandLineOption output({ "o", "output" },
                                    QStringLiteral("Where results go (default: output/ under the working directory)."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption tools(
        { "t", "tools" },
        QStringLiteral("The folder with ffmpeg and mencoder (default: bin/ under the working "
                       "directory, then the tools of the installed package)."),
        QStringLiteral("DIR"));
    const QCommandLineOption dryRun({ "n", "dry-run" },
                                    QStringLiteral("Print the command lines of each source, run nothing."));
    const QCommandLineOption direct(
        { "d", "direct" },
        QStringLiteral("Convert in one ffmpeg pass: over twice as fast and sharper, the same kind of file. "
                       "Without it, the window's two steps (ffmpeg, then mencoder)."));
    const QCommandLineOption format(
        { "f", "format" },
        QStringLiteral("The kind of file: avi (Xvid and MP2, the default), amv (for the cheapest pocket players) "
                       "or mp4 (H.264 and AAC, for phones). AMV and MP4 are made in one ffmpeg pass."),
        QStringLiteral("FORMAT"), QStringLiteral("avi"));
    const QCommandLineOption stretch(
        QStringLiteral("stretch"),
        QStringLiteral("Stretch the picture to fill the size, declared 4:3, whatever its shape. Without it, the "
                       "picture keeps its shape, centred on black bars."));
    const QCommandLineOption keepDone(
        QStringLiteral("keep-done"),
        QStringLiteral("Convert nothing for a source whose target exists and is newer than the source: it is "
                       "reported Skipped, already converted, and counts as done. A result only ever appears whole, "
                       "so a batch stopped or cut off by a crash can simply be run again."));
    const QCommandLineOption printTools(
        QStringLiteral("print-tools"),
        QStringLiteral("Print the ffmpeg and mencoder a run would use, as found, and run nothing; no sources are "
                       "needed."));
    parser.addOptions({ size, jobs, output, tools, dryRun, direct, format, stretch, keepDone, printTools });
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE|FOLDER"),
                                 QStringLiteral("Videos, or folders whose video files (subfolders included) are "
                                                "converted. Name a file that starts with '-' as ./-name or after --."),
                                 QStringLiteral("FILE|FOLDER..."));

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // Named as a user types it, not by the path it was started from.
        QString text = parser.helpText();
        text.replace(QStringLiteral("Usage: ") + arguments.value(0), QStringLiteral("Usage: quorvel-batch"));
        std::fputs(qUtf8Printable(text), stdout);
        std::exit(0);
    }
    if (parser.isSet(version))
        parser.showVersion();

    BatchOptions options;
    options.size = parser.value(size);
    if (!sizes.contains(options.size)) {
        *error = QStringLiteral("unknown size '%1'; choose one of %2").arg(options.size, sizes.join(", "));
        return std::nullopt;
    }
    options.scale = scaleForResolution(options.size);
    bool isNumber = false;
    options.choices.rowsAtOnce = parser.value(jobs).toInt(&isNumber);
    if (!isNumber || options.choices.rowsAtOnce < 1) {
        *error = QStringLiteral("--jobs needs a whole number of at least 1, not '%1'").arg(parser.value(jobs));
        return std::nullopt;
    }
    if (parser.isSet(direct))
        options.choices.pipeline = Settings::Pipeline::OnePass;
    if (const QString problem = choice("format").read(parser.value(format), options.choices); !problem.isEmpty()) {
        *error = QStringLiteral("--format '%1' %2").arg(parser.value(format), problem);
        return std::nullopt;
    }
    if (parser.isSet(stretch))
        options.choices.picture = Picture::Stretch;
    options.choices.outputFolder = parser.value(output);
    options.toolsFolder = parser.value(tools);
    if ((parser.isSet(output) && options.choices.outputFolder.isEmpty())
        || (parser.isSet(tools) && options.toolsFolder.isEmpty())) {
        *error = QStringLiteral("--output and --tools need a folder");
        return std::nullopt;
    }
    options.dryRun = parser.isSet(dryRun);
    options.keepDone = parser.isSet(keepDone);
    options.printTools = parser.isSet(printTools);
    options.paths = parser.positionalArguments();
    if (options.paths.isEmpty() && !options.printTools) {
        *error = QStringLiteral("no sources: name video files or folders");
        return std::nullopt;
    }
    return options;
}
