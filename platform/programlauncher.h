// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/result.h"

#include <QString>
#include <QStringList>

namespace korvane {

// Finds a program named without a folder as Windows finds one: first in the folder of the
// running executable, then along PATH. Returns "" when it is nowhere.
QString findProgram(const QString& name, const QString& ownFolder, const QStringList& searchPath);

// Starts a program detached with `arguments`, in the current working directory, without waiting
// for it and without keeping track of it. Fails when it cannot be found or started.
Result<> launchDetached(const QString& name, const QStringList& arguments = {});

} // namespace korvane
