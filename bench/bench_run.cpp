// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Lines per second through a whole run (selection, shaping, echo, delivery) with the waits taken
// out: the driver calls waitOver() back to back. The observer and the sink do nothing, so the figure
// is the engine's own cost per line. Run on a release build.

#include "engine/generationrun.h"
#include "engine/linereader.h"
#include "shippedsettings.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using korvane::GenerationRun;

// Takes every line and counts it.
class NullSink final : public korvane::LineSink
{
public:
    korvane::SinkResult write(std::string_view) override
    {
        ++written;
        return korvane::Delivery::Sent;
    }

    std::int64_t written = 0;
};

class StillClock final : public korvane::WallClock
{
public:
    korvane::CivilDateTime now() override { return {{2026, 12, 6}, {4, 47, 51}}; }
};

korvane::RunSettings settingsFor(const char* file, int generationType, bool realLogs)
{
    korvane::RunSettings s;
    s.onePass = false; // endless passes: the run never runs dry during a measurement
    s.generationType = generationType;
    s.realLogs = realLogs;
    s.removeHeader = realLogs;
    s.headerString = " %PIX";
    s.sourceFile = std::string(KORVANE_SOURCE_DIR "/data/") + file;
    s.firewallName = "Pix-Inside-Demo";
    s.rewrite = korvane::bench::shippedRewriteValues();
    return s;
}

void runLines(benchmark::State& state, const char* file, int generationType, bool realLogs)
{
    const korvane::RunSettings settings = settingsFor(file, generationType, realLogs);
    korvane::RunFlags flags;
    korvane::RunObserver observer;
    NullSink sink;
    korvane::DefaultRandomSource random;
    StillClock clock;
    GenerationRun run(settings, flags, observer, sink, random, clock);

    GenerationRun::Next next = run.start();
    for (auto _ : state) {
        while (next == GenerationRun::Next::Yield) {
            next = run.resume();
        }
        if (next != GenerationRun::Next::Wait) {
            state.SkipWithError(("the run stopped: is " + settings.sourceFile.string() + " readable?").c_str());
            break;
        }
        next = run.waitOver();
    }
    run.abandon();
    state.SetItemsProcessed(sink.written);
    state.counters["lines"] = benchmark::Counter(static_cast<double>(sink.written));
}

void readLines(benchmark::State& state)
{
    const std::string path = KORVANE_SOURCE_DIR "/data/KORVANE.TXT";
    korvane::LineReader reader;
    std::string line;
    std::int64_t lines = 0;
    for (auto _ : state) {
        if (const korvane::Result<> opened = reader.open(path); !opened) {
            state.SkipWithError(opened.reason().c_str());
            break;
        }
        while (reader.readLine(line)) {
            ++lines;
        }
        benchmark::DoNotOptimize(line.data());
    }
    state.SetItemsProcessed(lines);
}

} // namespace

BENCHMARK_CAPTURE(runLines, templates_every_pix_line, "SAMPLE.TXT", 0, false);
BENCHMARK_CAPTURE(runLines, real_logs_header_cut, "KORVANE.TXT", 0, true);
BENCHMARK_CAPTURE(runLines, templates_random_line, "SAMPLE.TXT", -1, false);
BENCHMARK_CAPTURE(runLines, real_logs_level_3, "KORVANE.TXT", 3, true);
BENCHMARK(readLines);

BENCHMARK_MAIN();
