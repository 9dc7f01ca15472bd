// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "engine/generationrun.h"
#include "session/ratelog.h"
#include "session/runsession.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvane::cli {

// Writes the rate log's CSV into `path`; a failure is said, naming the file.
void writeRateLog(const QString& path, const RateLog& log);

// "korvane-cli: TEXT" on standard error. Standard error closed or gone is nothing to say: the
// line is lost, the program goes on.
void say(std::string_view text);

// A run as the command line presents it: nothing per line, a status line on a terminal at most
// four times a second, and one summary line at the end, all on standard error.
class CliRun final : public QObject, public RunObserver
{
    Q_OBJECT

public:
    // `destination` as destinationText() gives it; `total` is the number of lines the run will
    // emit, where known, for a percentage.
    CliRun(QString destination, std::optional<std::int64_t> total, bool showProgress);
    // The session whose progress is shown; before any other call.
    void attach(const RunSession& session)
    {
        m_progress = [&session] { return session.progress(); };
    }
    // The same for a run whose progress comes from elsewhere (a fleet's).
    void attach(std::function<RunProgress()> progress) { m_progress = std::move(progress); }

    void startProgress();
    // Stops the status line and clears it, so that other lines can follow.
    void stopProgress();
    // The line that ends every run.
    void printSummary() const;
    const std::string& failure() const { return m_failure; }

    // RunObserver: of the run's reports, the command line keeps its failure for the summary.
    void runFailed(std::string_view reason) override { m_failure = std::string(reason); }

private:
    void drawProgress();

    std::function<RunProgress()> m_progress;
    QString m_destination;
    std::optional<std::int64_t> m_total;
    bool m_showProgress;
    bool m_drawn = false;
    std::string m_failure;
    QTimer m_timer;
};

} // namespace korvane::cli
