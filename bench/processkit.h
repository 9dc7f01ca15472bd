// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// What the benchmarks that run other programs measure of them: their processor time and memory,
// and where loggen was unpacked.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <sys/types.h>
#include <time.h>
#include <unistd.h>

namespace korvane::bench {

inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

template <typename Number>
double median(std::vector<Number> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? double(values[mid]) : (double(values[mid - 1]) + double(values[mid])) / 2;
}

// CPU seconds of another process, all its threads: its CPU-time clock (nanoseconds), or utime+stime
// from /proc (clock ticks) where that clock cannot be had.
inline std::function<double()> processCpu(pid_t pid)
{
    clockid_t clock{};
    if (::clock_getcpuclockid(pid, &clock) == 0) {
        return [clock] {
            timespec ts{};
            ::clock_gettime(clock, &ts);
            return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
        };
    }
    return [pid] {
        const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
        // Fields after the command name, which is in parentheses and may hold blanks.
        std::istringstream fields(stat.substr(stat.rfind(')') + 2));
        std::string field;
        unsigned long long utime = 0;
        unsigned long long stime = 0;
        for (int index = 3; fields >> field; ++index) {
            if (index == 14) {
                utime = std::stoull(field);
            } else if (index == 15) {
                stime = std::stoull(field);
                break;
            }
        }
        return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
    };
}

// Resident memory of a process in KB, -1 when it cannot be read.
inline double residentKb(pid_t pid)
{
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6));
        }
    }
    return -1;
}

// Where scripts/fetch-loggen put loggen, unless KORVANE_LOGGEN_DIR says otherwise.
inline std::filesystem::path loggenFolder(const std::filesystem::path& sourceDir)
{
    if (const char* dir = std::getenv("KORVANE_LOGGEN_DIR"); dir && *dir) {
        return dir;
    }
    return sourceDir / "build" / "loggen";
}

} // namespace korvane::bench
