// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// Stand-ins for the window, the sink, the random source and the clocks, so that a run can be
// driven step by step without a window, a file or any real waiting.

#include "engine/generationrun.h"
#include "engine/runpacer.h"
#include "enginefakes.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::test {

// Everything the run does to the window, in order, and the state it leaves behind.
class FakeView final : public RunView
{
public:
    explicit FakeView(std::vector<std::string>* journal = nullptr) : m_journal(journal) {}

    void setTransport(bool playEnabled, bool pauseEnabled, bool stopEnabled) override
    {
        play = playEnabled;
        pause = pauseEnabled;
        stop = stopEnabled;
        note(std::string("transport ") + flag(playEnabled) + flag(pauseEnabled) + flag(stopEnabled));
    }
    void showRunTitle() override
    {
        titleShown = true;
        note("title");
    }
    void setSourceButtonEnabled(bool enabled) override
    {
        sourceButton = enabled;
        note(std::string("source ") + flag(enabled));
    }
    void clearOutput() override
    {
        output.clear();
        ++clears;
        note("clear");
    }
    void appendOutput(std::string_view line) override
    {
        output.emplace_back(line);
        emitted.emplace_back(line);
        note("append " + std::string(line));
    }
    void setLineCount(std::int64_t count) override
    {
        shownCount = count;
        note("count " + std::to_string(count));
    }
    bool lampsVisible() const override { return lamps; }
    void setLampsVisible(bool visible) override
    {
        lamps = visible;
        lampHistory.push_back(visible);
        note(std::string("lamps ") + flag(visible));
    }
    void showFailure(std::string_view reason) override
    {
        failure = std::string(reason);
        ++failures;
        note("failure " + failure);
    }

    std::size_t calls() const { return m_calls; }

    bool play = true;
    bool pause = false;
    bool stop = false;
    bool titleShown = false;
    bool sourceButton = true;
    bool lamps = false;
    std::vector<bool> lampHistory;    // every lamp change, in order
    std::vector<std::string> output;  // what the output box holds now
    std::vector<std::string> emitted; // every line ever appended, across passes
    int clears = 0;
    std::int64_t shownCount = -1; // the count label; -1 until first set
    std::string failure;
    int failures = 0;

private:
    static const char* flag(bool on) { return on ? "1" : "0"; }
    void note(std::string entry)
    {
        ++m_calls;
        if (m_journal != nullptr) {
            m_journal->push_back(std::move(entry));
        }
    }

    std::vector<std::string>* m_journal;
    std::size_t m_calls = 0;
};

// Keeps every line written to it; chosen writes (counted from 0) report Skipped or Failed.
class RecordingSink final : public LineSink
{
public:
    explicit RecordingSink(std::vector<std::string>* journal = nullptr) : m_journal(journal) {}

    SinkResult write(std::string_view line) override
    {
        lines.emplace_back(line);
        if (m_journal != nullptr) {
            m_journal->push_back("write " + std::string(line));
        }
        const auto it = outcomes.find(lines.size() - 1);
        return it == outcomes.end() ? SinkResult(Delivery::Sent) : it->second;
    }

    std::vector<std::string> lines;
    std::map<std::size_t, SinkResult> outcomes;

private:
    std::vector<std::string>* m_journal;
};

} // namespace korvane::test
