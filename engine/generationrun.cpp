// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/generationrun.h"

#include "engine/trafficmodel.h"

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

constexpr std::string_view kTag = "PIX-";

// Lines passed over without a wait before the run lets the window breathe: a large source with
// few lines of the chosen level would otherwise keep the window frozen while it is read.
constexpr int kReadsBetweenYields = 4096;

bool isSeverityLevel(int generationType)
{
    return generationType >= 1 && generationType <= 7;
}

bool holdsTag(std::string_view line)
{
    return line.find(kTag) != std::string_view::npos;
}

bool holdsLevel(std::string_view line, int generationType)
{
    if (!isSeverityLevel(generationType)) {
        return false;
    }
    const char needle[] = {'P', 'I', 'X', '-', static_cast<char>('0' + generationType)};
    return line.find(std::string_view(needle, sizeof needle)) != std::string_view::npos;
}

} // namespace

GenerationRun::GenerationRun(const RunSettings& settings, RunFlags& flags, RunObserver& observer, LineSink& sink,
                             RandomSource& random, WallClock& clock)
    : m_settings(settings), m_flags(flags), m_observer(observer), m_sink(sink), m_random(random), m_clock(clock),
      m_composer(settings.firewallName), m_nextDelay(settings.delay)
{}

// Random selection (-1) and "every PIX- line" (0) select after the wait; every other type
// selects before it (the severity levels, and values that match no line at all). A replay at
// the log's pace must know the next line before its wait, so it selects every "PIX-" line
// before the wait too.
bool GenerationRun::selectsBeforeWait() const
{
    const int type = m_settings.generationType;
    return (type != 0 && type != -1) || (type == 0 && m_settings.replayAtLogPace);
}

bool GenerationRun::selects(std::string_view line) const
{
    return m_settings.generationType == 0 ? holdsTag(line) : holdsLevel(line, m_settings.generationType);
}

// The wait before the line just held: in a replay, the gap between its time stamp and the last
// one, scaled and cut, less what the lines without a stamp in between have waited already;
// otherwise, and for a line without a stamp, one delay.
void GenerationRun::noteHeldLine()
{
    m_nextDelay = m_settings.delay;
    m_waitFromLog = false;
    if (!m_settings.replayAtLogPace) {
        return;
    }
    const std::optional<LogStamp> stamp = findLogStamp(m_line);
    if (!stamp) {
        m_waitedSinceStamp += m_settings.delay;
        return;
    }
    if (const std::optional<double> gap = m_timeline.gapTo(*stamp)) {
        const double due = std::min(std::max(0.0, *gap) / m_settings.replaySpeed, m_settings.replayMaxGap);
        m_nextDelay = std::max(0.0, due - m_waitedSinceStamp);
        m_waitFromLog = true;
    }
    m_waitedSinceStamp = 0;
}

GenerationRun::~GenerationRun() = default;

void GenerationRun::share(SharedRunParts& parts)
{
    m_useRewriter = &parts.rewriter;
    m_source.share(parts.source);
    m_buffers = &parts.buffers;
}

GenerationRun::Next GenerationRun::start()
{
    m_source.close();
    m_line.clear();
    m_lineHeld = false;
    m_readsWithoutWait = 0;
    m_lineCounter = 0;
    m_active = true;

    m_observer.runStarted();

    if (m_settings.traffic.enabled && !startTraffic()) {
        return halt(m_failure);
    }
    if (!openPass()) {
        return halt(m_failure);
    }
    return advance();
}

GenerationRun::Next GenerationRun::resume()
{
    if (!m_active) {
        return Next::Finished;
    }
    // A yield or an idle pause lets the window handle its events just as a wait does, so a Stop
    // pressed then must end the run; without this a run over an empty source could never stop.
    if (m_flags.StopRequested) {
        return endRun();
    }
    if (m_resumePoint == ResumePoint::PassStart && !openPass()) {
        return halt(m_failure);
    }
    return advance();
}

GenerationRun::Next GenerationRun::waitOver()
{
    if (!m_active) {
        return Next::Finished;
    }
    if (m_flags.StopRequested) {
        return endRun(); // a line read for this cycle is dropped
    }
    if (m_flags.Paused) {
        return advance(); // a held line stays held
    }

    bool selected = false;
    if (selectsBeforeWait()) {
        // Only a line read before the wait goes out: after a pause with nothing held the
        // cycle is empty rather than sending the previous line a second time.
        selected = m_lineHeld;
        m_lineHeld = false;
    } else if (m_settings.generationType == 0) {
        if (m_source.readLine(m_line)) {
            selected = holdsTag(m_line);
        } else if (m_source.failure()) {
            return halt(sourceFailure(m_source.failure()->reason));
        }
    } else {
        selected = pickRandomLine();
    }
    if (!selected) {
        return advance();
    }
    return emitCurrentLine();
}

void GenerationRun::abandon()
{
    [[maybe_unused]] const FlushResult flushed = m_sink.flushAndWait();
    m_source.close();
    m_randomLines.reset();
    m_lineHeld = false;
    m_active = false;
}

bool GenerationRun::openPass()
{
    m_observer.passStarted();
    m_passWaited = false;
    m_timeline.reset();
    m_waitedSinceStamp = 0;
    if (const Result<> opened = m_source.open(m_settings.sourceFile); !opened) {
        m_failure = sourceFailure(opened.reason());
        return false;
    }
    return m_settings.generationType != -1 || loadRandomLines();
}

// The reader's reasons say what went wrong, not with which file: the run names its source, as
// the operator knows it ("SAMPLE.TXT: No such file or directory").
std::string GenerationRun::sourceFailure(std::string_view reason) const
{
    std::string named = m_settings.sourceFile.string();
    named.append(": ");
    named.append(reason);
    return named;
}

bool GenerationRun::loadRandomLines()
{
    // Once per pass rather than once per draw: the same line comes out as if the source were
    // read up to it for every draw, without reading the file again and again.
    Result<std::shared_ptr<const SourceLines>> lines = m_source.allLines(m_settings.sourceFile);
    if (!lines) {
        m_failure = sourceFailure(lines.reason());
        return false;
    }
    m_randomLines = std::move(lines.value());
    return true;
}

// The catalogue the model's messages are made from is the source as it is at Play.
bool GenerationRun::startTraffic()
{
    const Result<std::shared_ptr<const SourceLines>> catalogue = m_source.allLines(m_settings.sourceFile);
    if (!catalogue) {
        m_failure = sourceFailure(catalogue.reason());
        return false;
    }
    m_traffic = std::make_unique<TrafficModel>(m_settings, *catalogue.value(), m_random);
    m_trafficClock.emplace(m_settings);
    return true;
}

bool GenerationRun::pickRandomLine()
{
    // The draw is made in every cycle, also when there is nothing to pick from, so the sequence
    // of draws does not depend on the source.
    const double r = m_random.next();
    if (!m_randomLines || m_randomLines->empty()) {
        return false;
    }
    // Line k + 1 of the N lines present at the start of the pass, k = floor(r * (N - 1) + 1):
    // one of the lines 2 to N, each with equal chance, whatever the source held at start-up.
    // A one-line source gives its only line.
    const SourceLines& lines = *m_randomLines;
    const auto last = static_cast<std::int64_t>(lines.size()) - 1;
    const auto k = static_cast<std::int64_t>(std::floor(r * static_cast<double>(last) + 1));
    m_line = lines[static_cast<std::size_t>(std::clamp<std::int64_t>(k, 0, last))];
    return holdsTag(m_line);
}

GenerationRun::Next GenerationRun::advance()
{
    for (;;) {
        // The pass goes on while a held line waits for its turn, even past the last line.
        if (!m_lineHeld && m_source.atEnd()) {
            if (m_source.failure()) {
                return halt(sourceFailure(m_source.failure()->reason));
            }
            m_source.close();
            if (m_settings.onePass) {
                return endRun();
            }
            if (!m_passWaited) {
                // Endless passes that find nothing would freeze the window and spin a core.
                m_resumePoint = ResumePoint::PassStart;
                m_readsWithoutWait = 0;
                return Next::Idle;
            }
            if (!openPass()) {
                return halt(m_failure);
            }
            continue;
        }

        if (selectsBeforeWait() && !m_flags.Paused && !m_lineHeld) {
            if (!m_source.readLine(m_line)) {
                if (m_source.failure()) {
                    return halt(sourceFailure(m_source.failure()->reason));
                }
                continue;
            }
            if (!selects(m_line)) {
                if (++m_readsWithoutWait >= kReadsBetweenYields) {
                    m_resumePoint = ResumePoint::Cycle;
                    m_readsWithoutWait = 0;
                    return Next::Yield;
                }
                continue; // no wait for a line of another level
            }
            m_lineHeld = true;
            noteHeldLine();
        }

        m_passWaited = true;
        m_readsWithoutWait = 0;
        return Next::Wait;
    }
}

GenerationRun::Next GenerationRun::emitCurrentLine()
{
    ++m_lineCounter;

    LineBuffers& buffers = *m_buffers;
    std::string_view line = m_line;
    const bool templated = !m_settings.realLogs;
    // One reading of the clock for the fresh time stamp and the header alike.
    const bool stamps = templated || m_settings.restamp || m_settings.format != SyslogFormat::Plain;
    const CivilDateTime now = stamps ? m_clock.now() : CivilDateTime{};
    if (m_settings.restamp) {
        if (const std::optional<LogStamp> stamp = findLogStamp(line)) {
            buffers.restamped.clear();
            appendRestamped(buffers.restamped, line, *stamp, now);
            line = buffers.restamped;
        }
    }
    if (m_settings.removeHeader) {
        line = removeHeader(line, m_settings.headerString);
    }
    if (templated && m_traffic) {
        // The model says what the line says, at the time the line is scheduled for.
        if (!m_traffic->make(m_lineCounter, m_trafficClock->timeOf(m_lineCounter), buffers.message)) {
            --m_lineCounter; // nothing it makes is selected: no line this cycle
            return advance();
        }
        line = buffers.message;
    } else if (templated) {
        if (!m_useRewriter) {
            m_useRewriter = &m_ownRewriter.emplace(m_settings.rewrite);
        }
        m_useRewriter->rewrite(line, m_random, buffers.message);
        line = buffers.message;
    }
    if (m_settings.format != SyslogFormat::Plain) {
        // A real log line's own time stamp and host make way for the standard header, which keeps
        // the host: a receiver would otherwise read the month as the program's name.
        std::string_view host = m_settings.firewallName;
        if (!templated) {
            if (const std::optional<LogHeader> own = findLogHeader(line)) {
                host = own->host;
                line = own->message;
            }
        }
        buffers.shaped.clear();
        appendFramedLine(buffers.shaped, m_settings.format, m_settings.facility, now, host, line,
                         m_settings.sequenceIds ? sequenceIdOfLine(m_lineCounter) : 0);
        line = buffers.shaped;
    } else if (templated) {
        m_composer.compose(buffers.shaped, now.date, now.time, line);
        line = buffers.shaped;
    }

    m_observer.lineEmitted(line, m_lineCounter);
    // Skipped and Dropped lines are lost to the receiver; the run goes on as if they had been
    // sent. The session counts the dropped ones.
    if (const SinkResult result = m_sink.write(line); !result) {
        return halt(result.reason());
    }

    m_observer.lineWritten();
    return advance();
}

bool GenerationRun::deliver()
{
    if (!m_active) {
        return true;
    }
    if (const FlushResult flushed = m_sink.flush(); !flushed) {
        halt(flushed.reason());
        return false;
    }
    return true;
}

GenerationRun::Next GenerationRun::endRun()
{
    // The lines emitted before the end reach the system before the run reports its end.
    if (const FlushResult flushed = m_sink.flushAndWait(); !flushed) {
        return halt(flushed.reason());
    }
    m_source.close();
    m_randomLines.reset();
    m_lineHeld = false;

    m_flags.StopRequested = false;
    m_flags.Paused = false;
    m_lineCounter = 0;
    m_active = false;
    m_observer.runEnded();
    return Next::Finished;
}

GenerationRun::Next GenerationRun::halt(std::string_view reason)
{
    // Nothing is reset, neither the flags nor what the front-end shows: the run just stops.
    const std::string why(reason); // it may point into the reader
    // What was emitted before the failure still goes out, as far as the sink can send it.
    [[maybe_unused]] const FlushResult flushed = m_sink.flushAndWait();
    m_source.close();
    m_randomLines.reset();
    m_lineHeld = false;
    m_active = false;
    m_observer.runFailed(why);
    return Next::Halted;
}

} // namespace korvane
