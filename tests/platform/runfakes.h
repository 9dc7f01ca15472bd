// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// A window and a sink that remember what a driven run did to them and when, for tests that
// drive a real run.

#include "engine/generationrun.h"
#include "enginefakes.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::test {

class RecordingView final : public RunView
{
public:
    void setTransport(bool playEnabled, bool pauseEnabled, bool stopEnabled) override
    {
        play = playEnabled;
        pause = pauseEnabled;
        stop = stopEnabled;
    }
    void showRunTitle() override {}
    void setSourceButtonEnabled(bool enabled) override { sourceButton = enabled; }
    void clearOutput() override { ++clears; }
    void appendOutput(std::string_view line) override { output.emplace_back(line); }
    void setLineCount(std::int64_t count) override { shownCount = count; }
    bool lampsVisible() const override { return lamps; }
    void setLampsVisible(bool visible) override { lamps = visible; }
    void showFailure(std::string_view reason) override { failure = std::string(reason); }

    bool play = true;
    bool pause = false;
    bool stop = false;
    bool sourceButton = true;
    bool lamps = false;
    std::vector<std::string> output;
    std::int64_t shownCount = -1;
    int clears = 0; // passes begun
    std::string failure;
};

// Keeps every line and the moment it arrived on a virtual clock (since `origin`). A write may
// take a set time, as a slow medium does, by which the clock moves on; chosen writes (from 0)
// report a given outcome.
class TimedSink final : public LineSink
{
public:
    explicit TimedSink(ManualClock& clock) : m_clock(clock) {}

    SinkResult write(std::string_view line) override
    {
        lines.emplace_back(line);
        arrivals.push_back(m_clock.current - origin);
        if (onWrite) {
            onWrite(lines.size());
        }
        m_clock.advance(writeCost);
        const auto it = outcomes.find(lines.size() - 1);
        return it == outcomes.end() ? SinkResult(Delivery::Sent) : it->second;
    }

    FlushResult flush() override
    {
        flushedLines = lines.size();
        if (flushFailure && lines.size() >= flushFailure->first) {
            return flushFailure->second;
        }
        return Flushed{};
    }

    std::size_t flushedLines = 0; // lines written up to the last flush
    // A flush once at least this many lines were written fails with this.
    std::optional<std::pair<std::size_t, Failure>> flushFailure;
    std::vector<std::string> lines;
    std::chrono::nanoseconds origin{0};
    std::vector<std::chrono::nanoseconds> arrivals;
    std::map<std::size_t, SinkResult> outcomes;
    std::function<void(std::size_t written)> onWrite;
    std::chrono::nanoseconds writeCost{0};

private:
    ManualClock& m_clock;
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
