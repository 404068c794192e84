// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "launcher.h"
#include "toolcommands.h"
#include "tooloutput.h"

#include <QString>

#include <functional>

class Pause;
class Stop;

// How one tool run ended, and everything it printed that matters.
struct ToolRun {
    using End = ToolProcess::End;

    explicit ToolRun(ToolOutput::Tool tool)
        : output(tool)
    {
    }

    End end = End::NotStarted;
    int exitCode = 0; // with Finished
    int signal = 0; // with Crashed
    QString program;
    QString startError; // with NotStarted: the system's reason
    ToolOutput output;
};

// Runs one tool command to its end on the calling thread (see ToolProcess).
// Both channels are read as the output arrives, so neither fills up however
// long the tool talks, and the last output before the tool exits is read
// too. `onOutput` is called after each read, on this thread.
//
// When `stop` is requested the tool is terminated, killed after a short
// grace, and reaped before this returns; a stop already requested starts
// nothing. Standard input stays an open pipe that nothing is written to.
ToolRun runTool(ToolOutput::Tool tool, const ToolCommand &command, const Stop &stop,
                const std::function<void(const ToolOutput &)> &onOutput = {}, Pause *pause = nullptr);

// The tool's name as it appears in a reason: "ffmpeg" or "mencoder".
QString toolName(ToolOutput::Tool tool);
