// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolrun.h"

QString toolName(ToolOutput::Tool tool)
{
    return tool == ToolOutput::Tool::Ffmpeg ? QStringLiteral("ffmpeg") : QStringLiteral("mencoder");
}

ToolRun runTool(ToolOutput::Tool tool, const ToolCommand &command, const Stop &stop,
                const std::function<void(const ToolOutput &)> &onOutput, Pause *pause)
{
    ToolRun run(tool);
    run.program = command.program();
    ToolProcess process;
    run.end = process.run(
        run.program, command.arguments(), stop,
        [&](ToolProcess::Channel channel, const QByteArray &bytes) {
            run.output.feed(channel == ToolProcess::Channel::Output ? ToolOutput::StandardOutput
                                                                    : ToolOutput::StandardError,
                            bytes);
            if (onOutput)
                onOutput(run.output);
        },
        pause);
    run.startError = process.startError();
    if (run.end == ToolRun::End::Finished || run.end == ToolRun::End::Crashed) {
        run.output.finish();
        run.exitCode = process.exitCode();
        run.signal = process.signal();
    }
    return run;
}
