// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/checkcommand.h"

#include "cli/clirun.h"
#include "cli/runreport.h"
#include "session/expectedrun.h"
#include "session/manifest.h"
#include "session/storedcheck.h"
#include "session/storedfleet.h"
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

// The check's outcome: the summary, the report, the exit status.
int concluded(const CheckRequest& request, const CheckReport& report)
{
    say(checkSummary(report.total));
    for (const auto& [host, counts] : report.byHost) {
        say(host + ": " + checkSummary(counts));
    }
    if (!request.report.isEmpty()) {
        if (const Result<> written = replaceFileAtomically(pathOf(request.report), checkReportJson(report)); !written) {
            say(written.reason()); // it names the file
            return kRunFailed;
        }
    }
    const CheckCounts& total = report.total;
    return total.missing == 0 && total.duplicated == 0 && total.damaged == 0 ? kAllDelivered : kNotAllDelivered;
}

// A fleet's run: each firewall's messages again, each stored line checked with its host's.
int runFleetCheck(const CheckRequest& request, const Manifest& manifest)
{
    std::vector<std::unique_ptr<ExpectedMessages>> expected;
    std::vector<const ExpectedMessages*> each;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < manifest.firewalls.size(); ++i) {
        auto messages = std::make_unique<ExpectedMessages>();
        messages->reserve(static_cast<std::size_t>(std::max<std::int64_t>(0, manifest.firewalls[i].lines.emitted)));
        const Result<> regenerated = regenerateMessages(manifest, i, pathOf(QDir::currentPath()),
                                                        [&](std::string_view message) { messages->append(message); });
        if (!regenerated) {
            say(regenerated.reason());
            return kRunFailed;
        }
        names.push_back(manifest.firewalls[i].name);
        each.push_back(messages.get());
        expected.push_back(std::move(messages));
    }
    CheckOptions options;
    options.sequenced = manifest.sequenceIds;
    options.stdoutEscaped = request.escaped;
    FleetStoredCheck check(names, each, options);
    if (const Result<> read =
            forEachStoredLine(pathOf(request.stored), [&](std::string_view line) { check.add(line); });
        !read) {
        return failed(request.stored, read.reason());
    }
    return concluded(request, check.report());
}

} // namespace

int runCheck(const CheckRequest& request)
{
    const Result<Manifest> manifest = readManifest(pathOf(request.manifest));
    if (!manifest) {
        say(manifest.reason());
        return kRunFailed;
    }
    if (!manifest.value().firewalls.empty()) {
        return runFleetCheck(request, manifest.value());
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
    return concluded(request, checked.value());
}

} // namespace korvane::cli
