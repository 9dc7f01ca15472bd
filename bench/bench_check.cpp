// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Stored lines checked per second: a stored file of 10 million lines in rsyslog's %rawmsg% form
// with sequence numbers, a few lines lost, doubled, swapped, cut short or foreign among them,
// matched by text and by sequence number. The first argument is how often the run emitted each
// text (1: every text once, as rewritten templates are; more: a replay over that many passes).
// Run on a release build.

#include "session/storedcheck.h"
#include "session/storedreport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr std::size_t kLines = 10'000'000;

// Every hundred thousand lines one is lost, one doubled and one swapped with the next; every
// million one is cut short and one foreign line comes in.
constexpr std::size_t kEvery = 100'000;
constexpr std::size_t kLost = 10;
constexpr std::size_t kDoubled = 20;
constexpr std::size_t kSwapped = 30;
constexpr std::size_t kCut = 40;

std::string messageText(std::size_t text)
{
    const std::size_t n = text;
    const std::string port = std::to_string(1024 + n % 60000);
    switch (n % 4) {
    case 0:
        return "PIX-6-302013: Built inbound TCP connection " + std::to_string(n) + " for outside:198.51.100." +
               std::to_string(n % 250) + "/" + port + " (198.51.100." + std::to_string(n % 250) + "/" + port +
               ") to inside:10.8.0.12/443 (10.8.0.12/443)";
    case 1:
        return "PIX-6-302014: Teardown TCP connection " + std::to_string(n) + " for outside:198.51.100." +
               std::to_string(n % 250) + "/" + port + " to inside:10.8.0.12/443 duration 0:00:03 bytes " +
               std::to_string(n % 90000);
    case 2:
        return "PIX-4-106023: Deny udp src outside:203.0.113." + std::to_string(n % 250) + "/" + port +
               " dst inside:10.8.0.2/53 by access-group \"edge-in\" [0x" + std::to_string(n) + ", 0x0]";
    default:
        return "PIX-6-305011: Built dynamic TCP translation from inside:10.8.1." + std::to_string(n % 250) + "/" +
               port + " to outside:192.0.2.1/" + std::to_string(n);
    }
}

std::string storedLine(std::size_t position, const std::string& text)
{
    return "<166>1 2026-12-08T10:11:12.345+01:00 fw-edge PIX - - [meta sequenceId=\"" +
           std::to_string(position % korvane::kLargestSequenceId + 1) + "\"] %" + text + "\n";
}

struct Run
{
    korvane::ExpectedMessages expected;
    std::filesystem::path stored;
};

// One run and its stored file per number of passes, made once.
std::map<std::int64_t, std::unique_ptr<Run>>& runs()
{
    static std::map<std::int64_t, std::unique_ptr<Run>> made;
    return made;
}

const Run& runOf(std::int64_t passes)
{
    std::unique_ptr<Run>& run = runs()[passes];
    if (run) {
        return *run;
    }
    run = std::make_unique<Run>();
    run->stored = std::filesystem::temp_directory_path() / ("korvane-bench-check-" + std::to_string(passes) + ".log");
    std::ofstream out(run->stored, std::ios::binary);
    const std::size_t distinct = kLines / static_cast<std::size_t>(passes);
    for (std::size_t position = 0; position < kLines; ++position) {
        run->expected.append(messageText(position % distinct));
    }
    for (std::size_t position = 0; position < kLines; ++position) {
        const std::string line = storedLine(position, std::string(run->expected.text(position)));
        switch (position % kEvery) {
        case kLost:
            continue;
        case kDoubled:
            out << line << line;
            continue;
        case kSwapped:
            out << storedLine(position + 1, std::string(run->expected.text(position + 1))) << line;
            ++position;
            continue;
        case kCut:
            if (position % (10 * kEvery) == kCut) {
                out << line.substr(0, line.find("%PIX-") + 40) << "\n";
                out << "Dec  8 10:11:12 fw-edge sshd[4242]: Accepted publickey for backup from 192.0.2.44\n";
                continue;
            }
            break;
        default:
            break;
        }
        out << line;
    }
    return *run;
}

void checkStored(benchmark::State& state)
{
    const Run& run = runOf(state.range(0));
    const korvane::CheckOptions options{state.range(1) != 0, 1, false};
    korvane::CheckCounts counts;
    for (auto _ : state) {
        const korvane::Result<korvane::CheckReport> checked =
            korvane::checkStoredFile(run.stored, run.expected, options);
        if (!checked.ok()) {
            state.SkipWithError(checked.reason().c_str());
            return;
        }
        counts = checked.value().total;
    }
    const std::uint64_t lines = counts.stored + counts.foreign;
    state.SetLabel(korvane::checkSummary(counts));
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(lines * state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(checkStored)
    ->ArgNames({"passes", "sequenced"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [passes, run] : runs()) {
        std::filesystem::remove(run->stored);
    }
    return 0;
}
