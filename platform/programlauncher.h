#pragma once

#include <QString>
#include <QStringList>

namespace korvane {

// Finds a program named without a folder as Windows finds one: first in the folder of the
// running executable, then along PATH. Returns "" when it is nowhere.
QString findProgram(const QString& name, const QString& ownFolder, const QStringList& searchPath);

// Starts a program detached, in the current working directory, without waiting for it and
// without keeping track of it. False with the reason when it cannot be found or started.
bool launchDetached(const QString& name, QString* error);

} // namespace korvane
