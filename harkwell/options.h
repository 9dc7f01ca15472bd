// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "harkwell/transport.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

namespace korvane::harkwell {

// What the command line asks for.
struct Options
{
    QHostAddress bindAddress{QHostAddress::AnyIPv4}; // receivers usually listen on every IPv4 address
    quint16 port = 514;                              // the syslog port
    Transport transport = Transport::Udp;
    QString tlsCertificate; // PEM files, for Transport::Tls; read by loadTlsIdentity, which says what is wrong
    QString tlsKey;
    bool stdoutMode = false; // no window: one line per message on standard output
    bool verbose = false;    // in stdout mode, prefix each line with time, sender and syslog header
    QString plotPath;        // in stdout mode, where to write the chart of the rate as PNG at the end; empty: none
};

enum class ParseStatus
{
    Run,
    ShowHelp,
    ShowVersion,
    Invalid,
};

struct ParseResult
{
    ParseStatus status = ParseStatus::Run;
    Options options;
    QString error; // why the command line is invalid, for standard error
};

// Parses the program's arguments (the first one is the program name). Works before any application object
// exists, so that main can choose between a window and the display-free standard-output mode.
[[nodiscard]] ParseResult parseOptions(const QStringList& arguments);

// Whether these arguments lead to the window. Arguments that do not parse may hold the toolkit's own window
// options (-platform, -style), which only the window application removes, so they count as window arguments
// unless --stdout is among them.
[[nodiscard]] bool wantsWindow(const QStringList& arguments);

// The --help text; needs the application object, which names the program.
[[nodiscard]] QString helpText();

// The --version text.
[[nodiscard]] QString versionText();

} // namespace korvane::harkwell
