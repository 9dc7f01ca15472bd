// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// An observer and a sink that remember what a run did to them, in order, and source files, for
// the tests that drive a run step by step, through the driver or through a session.

#include "engine/generationrun.h"
#include "enginefakes.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane::test {

// Every report of a run, noted in a journal when one is given, and what they add up to.
class RecordingObserver final : public RunObserver
{
public:
    explicit RecordingObserver(std::vector<std::string>* journal = nullptr) : m_journal(journal) {}

    void runStarted() override
    {
        ++starts;
        note("start");
    }
    void passStarted() override
    {
        ++passes;
        note("pass");
    }
    void lineEmitted(std::string_view line, std::int64_t count) override
    {
        lines.emplace_back(line);
        lastCount = count;
        note("line " + std::to_string(count) + " " + std::string(line));
    }
    void lineWritten() override
    {
        ++written;
        note("written");
    }
    void runEnded() override
    {
        ++ends;
        note("end");
    }
    void runFailed(std::string_view reason) override
    {
        failure = std::string(reason);
        ++failures;
        note("failure " + failure);
    }

    int starts = 0;
    int passes = 0;
    std::vector<std::string> lines; // every line emitted, across passes and runs
    std::int64_t lastCount = -1;    // the count of the last line emitted; -1 before the first
    int written = 0;                // lines the sink took
    int ends = 0;
    int failures = 0;
    std::string failure; // the last one

private:
    void note(std::string entry)
    {
        if (m_journal != nullptr) {
            m_journal->push_back(std::move(entry));
        }
    }

    std::vector<std::string>* m_journal;
};

// Keeps every line written to it, noted in a journal when one is given; chosen writes (counted
// from 0) report a given outcome, and the outcomes are counted as a real sink counts them. On a
// virtual clock it notes when each line arrived (since `origin`), and a write may take a set time,
// as a slow medium does, by which the clock moves on.
class RecordingSink final : public LineSink
{
public:
    explicit RecordingSink(std::vector<std::string>* journal = nullptr) : m_journal(journal) {}
    explicit RecordingSink(ManualClock& clock) : m_clock(&clock) {}

    SinkResult write(std::string_view line) override
    {
        lines.emplace_back(line);
        if (m_journal != nullptr) {
            m_journal->push_back("write " + std::string(line));
        }
        if (m_clock != nullptr) {
            arrivals.push_back(m_clock->current - origin);
        }
        if (onWrite) {
            onWrite(lines.size());
        }
        if (m_clock != nullptr) {
            m_clock->advance(writeCost);
        }
        const auto it = outcomes.find(lines.size() - 1);
        const SinkResult result = it == outcomes.end() ? SinkResult(Delivery::Sent) : it->second;
        ++(!result                               ? taken.undelivered
           : result.value() == Delivery::Sent    ? taken.delivered
           : result.value() == Delivery::Dropped ? taken.dropped
                                                 : taken.undelivered);
        return result;
    }

    FlushResult flush() override
    {
        flushedLines = lines.size();
        if (flushFailure && lines.size() >= flushFailure->first) {
            return flushFailure->second;
        }
        return Flushed{};
    }

    DeliveryCounts counts() const override { return taken; }

    std::vector<std::string> lines;
    std::map<std::size_t, SinkResult> outcomes;
    DeliveryCounts taken;         // Sent delivered, Dropped dropped, the rest undelivered
    std::size_t flushedLines = 0; // lines written up to the last flush
    // A flush once at least this many lines were written fails with this.
    std::optional<std::pair<std::size_t, Failure>> flushFailure;
    std::function<void(std::size_t written)> onWrite;
    std::chrono::nanoseconds origin{0};
    std::vector<std::chrono::nanoseconds> arrivals; // on the clock only
    std::chrono::nanoseconds writeCost{0};          // on the clock only

private:
    std::vector<std::string>* m_journal = nullptr;
    ManualClock* m_clock = nullptr;
};

// A source file with CR LF line ends, as the operator's files have.
inline std::filesystem::path writeSource(const QTemporaryDir& dir, const QStringList& lines)
{
    const std::filesystem::path path = dir.filePath(QStringLiteral("SOURCE.TXT")).toStdString();
    std::ofstream out(path, std::ios::binary);
    for (const QString& line : lines) {
        out << line.toStdString() << "\r\n";
    }
    return path;
}

// Real log lines, sent as they are: what goes out is exactly what the source holds.
inline RunSettings realLogSettings(const std::filesystem::path& source, int generationType, bool onePass)
{
    RunSettings settings;
    settings.generationType = generationType;
    settings.onePass = onePass;
    settings.realLogs = true;
    settings.sourceFile = source;
    return settings;
}

} // namespace korvane::test
