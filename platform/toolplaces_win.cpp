// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolplaces.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

QString systemTool(const QString &tool)
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/bin/") + tool + QStringLiteral(".exe");
    if (QFileInfo(beside).isFile())
        return beside;
    const QString onPath = QStandardPaths::findExecutable(tool);
    return onPath.isEmpty() ? beside : onPath;
}

QString notInstalled(const QString &tool, const QString &looked)
{
    return QStringLiteral("%1.exe was not found (%2 is missing, and it is not on PATH); put %1.exe in bin\\ under the "
                          "working folder")
        .arg(tool, looked);
}

QString windowTool(const QString &specified)
{
    if (QFileInfo(specified).isFile())
        return specified;
    const QString found = systemTool(QFileInfo(specified).completeBaseName());
    return QFileInfo(found).isFile() ? found : specified;
}
