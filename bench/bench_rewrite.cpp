// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Rewrite + compose cost per template line, over the shipped templates. Run on a release build.

#include "engine/linecomposer.h"
#include "engine/templaterewriter.h"
#include "shippedsettings.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::string> shippedTemplates()
{
    std::ifstream in(KORVANE_SOURCE_DIR "/data/SAMPLE.TXT", std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = content.find("\r\n"); end != std::string::npos; end = content.find("\r\n", start)) {
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// A clock that costs nothing, so the figure is the text work alone.
class StillClock final : public korvane::WallClock
{
public:
    korvane::CivilDateTime now() override { return {{2026, 12, 6}, {4, 47, 51}}; }
};

void rewriteAndCompose(benchmark::State& state)
{
    const std::vector<std::string> templates = shippedTemplates();
    if (templates.empty()) {
        state.SkipWithError("data/SAMPLE.TXT not found");
        return;
    }
    korvane::TemplateRewriter rewriter(korvane::bench::shippedRewriteValues());
    korvane::DefaultRandomSource random;
    StillClock clock;
    std::string rewritten;
    std::string line;
    korvane::LineComposer composer("Pix-Inside-Demo");
    std::size_t next = 0;
    std::size_t bytes = 0;
    // As a run does it: one reading of the clock and reused buffers for every line.
    for (auto _ : state) {
        const korvane::CivilDateTime now = clock.now();
        rewriter.rewrite(templates[next], random, rewritten);
        composer.compose(line, now.date, now.time, rewritten);
        bytes += line.size();
        benchmark::DoNotOptimize(line.data());
        next = next + 1 == templates.size() ? 0 : next + 1;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The same behind a standard header (the benchmark's argument is the SyslogFormat), as a run
// with SyslogFormat 1, 2 or 3 composes a template line.
void rewriteAndFrame(benchmark::State& state)
{
    const std::vector<std::string> templates = shippedTemplates();
    if (templates.empty()) {
        state.SkipWithError("data/SAMPLE.TXT not found");
        return;
    }
    const auto format = static_cast<korvane::SyslogFormat>(state.range(0));
    korvane::TemplateRewriter rewriter(korvane::bench::shippedRewriteValues());
    korvane::DefaultRandomSource random;
    StillClock clock;
    std::string rewritten;
    std::string line;
    std::size_t next = 0;
    for (auto _ : state) {
        const korvane::CivilDateTime now = clock.now();
        rewriter.rewrite(templates[next], random, rewritten);
        line.clear();
        korvane::appendFramedLine(line, format, 20, now, "Pix-Inside-Demo", rewritten);
        benchmark::DoNotOptimize(line.data());
        next = next + 1 == templates.size() ? 0 : next + 1;
    }
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// One rewriter and one output buffer for all lines, as a generation run uses them.
void rewriteOnly(benchmark::State& state)
{
    const std::vector<std::string> templates = shippedTemplates();
    if (templates.empty()) {
        state.SkipWithError("data/SAMPLE.TXT not found");
        return;
    }
    korvane::TemplateRewriter rewriter(korvane::bench::shippedRewriteValues());
    korvane::DefaultRandomSource random;
    std::string line;
    korvane::LineComposer composer("Pix-Inside-Demo");
    std::size_t next = 0;
    for (auto _ : state) {
        rewriter.rewrite(templates[next], random, line);
        benchmark::DoNotOptimize(line.data());
        next = next + 1 == templates.size() ? 0 : next + 1;
    }
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The free function, which applies the rules one by one to a fresh copy of every line: what a
// rewriter does once for each line it has not seen yet.
void rewriteOnlyPerCall(benchmark::State& state)
{
    const std::vector<std::string> templates = shippedTemplates();
    if (templates.empty()) {
        state.SkipWithError("data/SAMPLE.TXT not found");
        return;
    }
    const korvane::RewriteValues values = korvane::bench::shippedRewriteValues();
    korvane::DefaultRandomSource random;
    std::size_t next = 0;
    for (auto _ : state) {
        const std::string line = korvane::rewriteTemplate(templates[next], values, random);
        benchmark::DoNotOptimize(line.data());
        next = next + 1 == templates.size() ? 0 : next + 1;
    }
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(rewriteAndCompose);
BENCHMARK(rewriteAndFrame)->Arg(1)->Arg(2)->Arg(3);
BENCHMARK(rewriteOnly);
BENCHMARK(rewriteOnlyPerCall);

BENCHMARK_MAIN();
