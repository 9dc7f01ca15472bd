// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/programlauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace korvane {

QString findProgram(const QString& name, const QString& ownFolder, const QStringList& searchPath)
{
    if (!ownFolder.isEmpty()) {
        const QFileInfo beside(QDir(ownFolder).filePath(name));
        if (beside.isFile() && beside.isExecutable()) {
            return beside.absoluteFilePath();
        }
    }
    return QStandardPaths::findExecutable(name, searchPath);
}

Result<> launchDetached(const QString& name, const QStringList& arguments)
{
    const QString program = findProgram(name, QCoreApplication::applicationDirPath(), {});
    if (program.isEmpty()) {
        return Failure{
            QStringLiteral("\"%1\" was found neither beside Korvane nor on the PATH").arg(name).toStdString()};
    }
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(QDir::currentPath());
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        return Failure{QStringLiteral("%1: %2").arg(program, process.errorString()).toStdString()};
    }
    return {};
}

} // namespace korvane
