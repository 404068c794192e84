// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Every name the program gives a file beside its targets, made and
// recognised here alone: the target itself, the pre-process's temporary
// file, the result's working name and the output folder's probe. The last
// three carry this process's mark, `.quorvel-<machine>-<process>-<n>.`, so
// that programs sharing a folder (two windows, a window and a script,
// machines on a shared disk) never meet, and a file whose process has ended
// is known for a leftover.

// The machine's short name (letters, digits and '-') and the process id,
// fixed for the process's life.
QString processTag();

// The output folder, a slash, the base name, a dot and the suffix.
QString buildTargetPath(const QString &baseName, const QString &outputFolder, const QString &suffix = "avi");
// The result's file name for a source: its base name, a dot and the suffix.
QString targetFileName(const QString &sourcePath, const QString &suffix = "avi");
// Whether a file name fits the file systems' limit (255 bytes).
bool nameFits(const QString &fileName);

// The pre-process's own file in `folder`: hidden, and with a dot first, so
// that no source's target is ever named so.
QString temporaryNameFor(const QString &folder);
// Where the step that writes the result writes it: a hidden name beside the
// target. A target whose name leaves no room for the mark keeps its start
// and its end, with a hash of the whole between them: the working name fits
// wherever the target does and still reads as the target's.
QString workingNameFor(const QString &target);
// A file made in `folder` to learn whether it takes files (QTemporaryFile's
// template).
QString probeTemplateFor(const QString &folder);

// Removes from `folder` the files above that a Quorvel process of this
// machine left when it ended without clearing them (a crash, a kill, a
// power cut); never a running process's, nor another machine's. How many
// it removed. Reads the disk.
int removeLeftovers(const QString &folder);

// An absolute, clean path; empty stays empty.
QString absolutePath(const QString &path);
// True when both paths name the same file, through links or "..".
bool sameFile(const QString &a, const QString &b);
