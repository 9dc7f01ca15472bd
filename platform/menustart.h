// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/result.h"

#include <QString>
#include <QStringList>

namespace korvane {

// Started from the desktop menu, Korvane works in a folder of the user's own instead of the
// folder the menu happens to start it in (the home folder).

// The files a working folder is given from the shipped samples: the templates, the real logs
// and the example settings.
QStringList menuStartFiles();

// "Korvane" in the user's documents folder (XDG_DOCUMENTS_DIR, ~/Documents by default).
QString menuStartFolder();

// The folder holding the shipped samples: share/korvane beside the executable's folder, else
// korvane in the XDG data folders. "" when none holds them.
QString findSampleFolder();

// Makes `folder` (with its parents) when it is missing, and copies into it each of
// menuStartFiles() from `samples` that it does not hold yet. A file already in `folder` is never
// replaced; a file missing from `samples` is left out. Returns the names copied.
Result<QStringList> prepareMenuStartFolder(const QString& folder, const QString& samples);

} // namespace korvane
