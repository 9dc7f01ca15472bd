// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/runsession.h"

#include "engine/linereader.h"

#include <QTimer>

namespace korvane {

std::optional<std::int64_t> linesInOnePass(const RunConfig& config)
{
    const RunSettings& run = config.run;
    if (!run.onePass || run.generationType < 0 || run.generationType > 7) {
        return std::nullopt;
    }
    const char level[] = {'P', 'I', 'X', '-', static_cast<char>('0' + run.generationType)};
    const std::string_view needle(level, run.generationType == 0 ? 4 : 5);
    LineReader reader;
    if (!reader.open(run.sourceFile)) {
        return std::nullopt;
    }
    std::int64_t count = 0;
    std::string line;
    while (reader.readLine(line)) {
        count += line.find(needle) != std::string::npos ? 1 : 0;
    }
    if (reader.failure()) {
        return std::nullopt;
    }
    return count;
}

RunSession::RunSession(RandomSource& random, WallClock& wallClock, MonotonicClock& clock, RunObserver& observer,
                       QObject* parent)
    : QObject(parent), m_sink(*this), m_random(random), m_wallClock(wallClock), m_observer(observer),
      m_driver(m_flags, clock)
{
    connect(&m_driver, &RunDriver::runEnded, this, [this](GenerationRun::Next how) {
        m_endedAfterMs = m_elapsed.elapsed();
        m_record.ended = QDateTime::currentDateTime();
        m_finishing = false;
        emit runEnded(how);
    });
}

RunSession::~RunSession()
{
    quit();
}

void RunSession::configure(const RunConfig& config, LineSink& sink)
{
    m_intoFile = config.output == OutputKind::File;
    m_settings = config.run;
    m_recordsForManifest = config.manifest;
    m_sink.target = &sink;
    m_countsAtPlay = sink.counts();
    m_configured = true;
}

void RunSession::play()
{
    if (m_driver.running() || !m_configured) {
        return;
    }
    m_emitted = 0;
    m_countsAtPlay = m_sink.counts();
    m_sinkFailed = false;
    m_endedAfterMs = -1;
    m_finishing = false;
    m_elapsed.start();
    m_record = RunRecord{};
    m_record.started = QDateTime::currentDateTime();
    m_record.randomDrawsBefore = m_random.draws();
    m_record.sourceFile = m_settings.sourceFile;
    if (m_recordsForManifest) {
        m_record.sourceSha256 = fileSha256(m_settings.sourceFile);
    }
    m_driver.start(std::make_unique<GenerationRun>(m_settings, m_flags, m_observer, m_sink, m_random, m_wallClock),
                   m_settings.delay);
}

void RunSession::pause()
{
    m_flags.Paused = !m_flags.Paused;
}

void RunSession::stop()
{
    m_flags.StopRequested = true;
}

void RunSession::finish()
{
    if (!m_driver.running() || m_finishing) {
        return;
    }
    m_finishing = true;
    // Lines already due in the current batch are not emitted: the run reads Stop before each.
    m_flags.StopRequested = true;
    // The rest of the wait is not waited for: the run is over once the event loop gets its turn
    // (never from inside the run's own call to the sink).
    QTimer::singleShot(0, this, [this] {
        if (!m_finishing) {
            return; // the run ended meanwhile, and runEnded was emitted
        }
        m_driver.quit();
        m_flags.StopRequested = false;
        m_flags.Paused = false;
        m_endedAfterMs = m_elapsed.elapsed();
        m_record.ended = QDateTime::currentDateTime();
        m_finishing = false;
        m_observer.runEnded(); // an end as the run's own: the abandoned run reports none
        emit runEnded(GenerationRun::Next::Finished);
    });
}

void RunSession::quit()
{
    m_flags.QuitRequested = true;
    m_driver.quit();
    m_finishing = false;
}

RunProgress RunSession::progress() const
{
    RunProgress p;
    p.emitted = m_emitted;
    if (m_configured) {
        const DeliveryCounts now = m_sink.counts();
        p.delivered = now.delivered - m_countsAtPlay.delivered;
        p.dropped = now.dropped - m_countsAtPlay.dropped;
        p.undelivered = now.undelivered - m_countsAtPlay.undelivered;
        p.resent = now.resent - m_countsAtPlay.resent;
    }
    p.sinkFailed = m_sinkFailed;
    p.intoFile = m_intoFile;
    if (m_elapsed.isValid()) {
        p.seconds = static_cast<double>(m_endedAfterMs >= 0 ? m_endedAfterMs : m_elapsed.elapsed()) / 1000.0;
    }
    return p;
}

SinkResult RunSession::CountingSink::write(std::string_view line)
{
    SinkResult result = target->write(line);
    if (!result) {
        m_session.m_sinkFailed = true;
        return result;
    }
    ++m_session.m_emitted;
    if (m_session.m_recordsForManifest) { // a cost per line only a manifest needs
        m_session.m_record.tally.count(line);
    }
    if (m_session.m_lineLimit > 0 && m_session.m_emitted >= m_session.m_lineLimit) {
        m_session.finish();
    }
    return result;
}

FlushResult RunSession::CountingSink::flush()
{
    return counted(target->flush());
}

FlushResult RunSession::CountingSink::flushAndWait()
{
    return counted(target->flushAndWait());
}

FlushResult RunSession::CountingSink::counted(FlushResult result)
{
    if (!result) {
        m_session.m_sinkFailed = true;
        return result;
    }
    return result;
}

} // namespace korvane
