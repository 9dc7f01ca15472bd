// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "session/ratelog.h"
#include "session/runsession.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace korvane {

// Keeps the rate log of a run: from start() (just after Play) it samples the run's running
// totals every RateLog::kSampleEvery on the event loop, and finish() closes the log once the
// counts are final (after the end-of-run drain).
class RateSampler : public QObject
{
    Q_OBJECT

public:
    explicit RateSampler(std::function<RunProgress()> progress, QObject* parent = nullptr);

    // A fresh log for the run just started.
    void start();
    // The run and its drain are over: the last row.
    void finish();

    const RateLog& log() const { return m_log; }

private:
    std::function<RunProgress()> m_progress;
    RateLog m_log;
    QTimer m_timer;
};

} // namespace korvane
