// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/clirun.h"

#include "cli/runreport.h"
#include "session/ratelog.h"

#include <QFile>

#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace korvane::cli {

namespace {

// The width of the terminal on standard error, asked at each redraw so that a resized window
// is followed; 0 when it is not known.
int terminalColumns()
{
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

} // namespace

void writeRateLog(const QString& path, const RateLog& log)
{
    QFile file(path);
    const std::string csv = log.csv();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size())) {
        say(QStringLiteral("cannot write the rate log %1: %2").arg(path, file.errorString()).toStdString());
    }
}

void say(std::string_view text)
{
    std::string line = "korvane-cli: ";
    line += text;
    line += '\n';
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

CliRun::CliRun(QString destination, std::optional<std::int64_t> total, bool showProgress)
    : m_destination(std::move(destination)), m_total(total), m_showProgress(showProgress)
{
    m_timer.setInterval(250);
    connect(&m_timer, &QTimer::timeout, this, &CliRun::drawProgress);
}

void CliRun::startProgress()
{
    if (m_showProgress) {
        m_timer.start();
    }
}

void CliRun::drawProgress()
{
    // From the start of the line, cut to the terminal's width so that it never wraps (a wrapped
    // line would leave a line behind at each redraw), and the rest of an earlier, longer line
    // cleared.
    std::string line = "\r";
    line += fitToWidth(progressLine(m_progress(), m_total), terminalColumns());
    line += "\x1b[K";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    m_drawn = true;
}

void CliRun::stopProgress()
{
    m_timer.stop();
    if (m_drawn) {
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
        m_drawn = false;
    }
}

void CliRun::printSummary() const
{
    say(summaryLine(m_progress(), m_destination));
}

} // namespace korvane::cli
