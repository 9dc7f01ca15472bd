// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Lines per second through a whole run (selection, shaping, echo, delivery) with the waits taken
// out: the driver calls waitOver() back to back. The observer and the sink do nothing, so the figure
// is the engine's own cost per line. Run on a release build.

#include "engine/generationrun.h"
#include "engine/linereader.h"
#include "engine/trafficmodel.h"
#include "shippedsettings.h"

#include <benchmark/benchmark.h>

#include <fstream>
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

// The resident memory of the process, from /proc, in bytes.
double residentBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) {
            return std::stod(line.substr(6)) * 1024;
        }
    }
    return 0;
}

// The traffic model making every template line's message, with a table of `connections` open
// (100000 lines a second on the run's clock, 30 s each: the table is full). The first half million
// lines fill it before the measurement; resident memory is read before and after.
void trafficLines(benchmark::State& state)
{
    korvane::RunSettings settings = settingsFor("SAMPLE.TXT", 0, false);
    settings.delay = 0.00001;
    settings.traffic.enabled = true;
    settings.traffic.connections = static_cast<int>(state.range(0));
    settings.traffic.srcNet = "198.51.100.0/24";
    settings.traffic.dstNet = "10.10.0.0/16";
    korvane::RunFlags flags;
    korvane::RunObserver observer;
    NullSink sink;
    korvane::DefaultRandomSource random;
    StillClock clock;
    GenerationRun run(settings, flags, observer, sink, random, clock);
    GenerationRun::Next next = run.start();
    const auto step = [&] {
        while (next == GenerationRun::Next::Yield) {
            next = run.resume();
        }
        if (next == GenerationRun::Next::Wait) {
            next = run.waitOver();
        }
    };
    for (int i = 0; i < 500000; ++i) {
        step();
    }
    const double before = residentBytes();
    const std::int64_t warm = sink.written;
    for (auto _ : state) {
        if (next != GenerationRun::Next::Wait && next != GenerationRun::Next::Yield) {
            state.SkipWithError("the run stopped");
            break;
        }
        step();
    }
    state.SetItemsProcessed(sink.written - warm);
    const double open = run.traffic() != nullptr ? static_cast<double>(run.traffic()->openConnections()) : 0;
    state.counters["open"] = open;
    state.counters["rss_MiB"] = residentBytes() / (1 << 20);
    state.counters["rss_growth_KiB"] = (residentBytes() - before) / 1024;
    run.abandon();
}

// The model alone, without selection and composition.
void trafficModelAlone(benchmark::State& state)
{
    korvane::RunSettings settings = settingsFor("SAMPLE.TXT", 0, false);
    settings.delay = 0.00001;
    settings.traffic.enabled = true;
    settings.traffic.connections = static_cast<int>(state.range(0));
    settings.traffic.srcNet = "198.51.100.0/24";
    settings.traffic.dstNet = "10.10.0.0/16";
    std::vector<std::string> catalogue;
    korvane::LineReader reader;
    if (reader.open(settings.sourceFile)) {
        for (std::string line; reader.readLine(line);) {
            catalogue.push_back(line);
        }
    }
    korvane::DefaultRandomSource random;
    korvane::TrafficModel model(settings, catalogue, random);
    std::string out;
    std::int64_t line = 0;
    for (; line < 500000; ++line) {
        model.make(line + 1, static_cast<double>(line + 1) * settings.delay, out);
    }
    const std::int64_t warm = line;
    for (auto _ : state) {
        ++line;
        model.make(line, static_cast<double>(line) * settings.delay, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(line - warm);
    state.counters["open"] = static_cast<double>(model.openConnections());
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
BENCHMARK(trafficLines)->Arg(100)->Arg(100000);
BENCHMARK(trafficModelAlone)->Arg(100)->Arg(100000);
BENCHMARK(readLines);

BENCHMARK_MAIN();
