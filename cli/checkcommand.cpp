// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/checkcommand.h"

#include "cli/clirun.h"
#include "cli/runreport.h"
#include "session/expectedrun.h"
#include "session/manifest.h"
#include "session/storedcheck.h"
#include "session/storedreport.h"
#include "settings/atomicfile.h"

#include <QDir>
#include <QFile>

namespace korvane::cli {

namespace {

std::filesystem::path pathOf(const QString& name)
{
    return std::filesystem::path(QFile::encodeName(name).toStdString());
}

int failed(const QString& what, const std::string& reason)
{
    say(what.toStdString() + ": " + reason);
    return kRunFailed;
}

} // namespace

int runCheck(const CheckRequest& request)
{
    const Result<Manifest> manifest = readManifest(pathOf(request.manifest));
    if (!manifest) {
        say(manifest.reason());
        return kRunFailed;
    }
    ExpectedMessages expected;
    expected.reserve(static_cast<std::size_t>(std::max<std::int64_t>(0, manifest.value().lines.emitted)));
    const Result<> regenerated = regenerateMessages(manifest.value(), pathOf(QDir::currentPath()),
                                                    [&](std::string_view message) { expected.append(message); });
    if (!regenerated) {
        say(regenerated.reason());
        return kRunFailed;
    }
    CheckOptions options;
    options.sequenced = manifest.value().sequenceIds;
    options.stdoutEscaped = request.escaped;
    const Result<CheckReport> checked = checkStoredFile(pathOf(request.stored), expected, options);
    if (!checked) {
        return failed(request.stored, checked.reason());
    }
    const CheckReport& report = checked.value();
    say(checkSummary(report.total));
    if (!request.report.isEmpty()) {
        if (const Result<> written = replaceFileAtomically(pathOf(request.report), checkReportJson(report)); !written) {
            say(written.reason()); // it names the file
            return kRunFailed;
        }
    }
    const CheckCounts& total = report.total;
    return total.missing == 0 && total.duplicated == 0 && total.damaged == 0 ? kAllDelivered : kNotAllDelivered;
}

} // namespace korvane::cli
