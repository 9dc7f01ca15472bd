// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/options.h"

#include "version.h"

#include <QCommandLineParser>

namespace korvane::harkwell {

namespace {

const QString kStdoutName = QStringLiteral("stdout");
const QString kVerboseName = QStringLiteral("verbose");
const QString kPortName = QStringLiteral("port");
const QString kBindName = QStringLiteral("bind");
const QString kTcpName = QStringLiteral("tcp");
const QString kTlsCertName = QStringLiteral("tls-cert");
const QString kTlsKeyName = QStringLiteral("tls-key");
const QString kPlotName = QStringLiteral("plot");

// The parser with every option declared, shared by the parse and the help text.
struct Declared
{
    QCommandLineParser parser;
    QCommandLineOption help = parser.addHelpOption();
    QCommandLineOption version = parser.addVersionOption();

    Declared()
    {
        parser.setApplicationDescription(QStringLiteral("Listens for syslog messages over UDP, TCP or TLS and shows "
                                                        "each one as it arrives."));
        parser.addOption({{QStringLiteral("p"), kPortName},
                          QStringLiteral("Port to listen on, UDP or TCP (0 lets the system choose). Default: 514."),
                          QStringLiteral("port")});
        parser.addOption({{QStringLiteral("b"), kBindName},
                          QStringLiteral("Local address to listen on. Default: 0.0.0.0 (every IPv4 address)."),
                          QStringLiteral("address")});
        parser.addOption({kTcpName, QStringLiteral("Listen on TCP instead of UDP, for many connections at once. Each "
                                                   "connection's framing is told from its first bytes: octet "
                                                   "counting (\"LEN MSG\", LEN without leading zero) or one message "
                                                   "per line (LF or CR LF). A message longer than 64 KiB is cut to "
                                                   "its first 64 KiB; a frame that the connection's end cuts short "
                                                   "is shown marked [cut]. A connection that breaks octet counting, "
                                                   "or sends nothing for 60 s, is closed and reported.")});
        parser.addOption({kTlsCertName,
                          QStringLiteral("Listen on TLS over TCP, presenting this PEM certificate (any intermediate "
                                         "certificates after it). Needs --tls-key; implies --tcp. No certificate is "
                                         "asked of the senders. A peer that is no TLS client, or has not completed "
                                         "its handshake within 10 s, is closed and reported."),
                          QStringLiteral("file")});
        parser.addOption({kTlsKeyName,
                          QStringLiteral("The PEM private key (RSA, EC or DSA, not encrypted) of --tls-cert."),
                          QStringLiteral("file")});
        parser.addOption({kStdoutName, QStringLiteral("No window: print each message as exactly one line on "
                                                      "standard output. One trailing line end of a message is "
                                                      "dropped; in the rest, CR, LF, tab and backslash are written "
                                                      "as \\r, \\n, \\t and \\\\, any other control byte as "
                                                      "\\xNN (hex); a cut message ends with a tab and [cut]. "
                                                      "Standard output is never waited for: messages it does not "
                                                      "take in time are counted on standard error instead of "
                                                      "printed. Ends on SIGINT, SIGTERM or SIGHUP.")});
        parser.addOption({kVerboseName, QStringLiteral("With --stdout, start each line with the arrival time, the "
                                                       "sender, and the facility, severity and host of the syslog "
                                                       "header (\"-\" for each the message lacks), and at the end say "
                                                       "on standard error how many messages were received, cut short "
                                                       "(TCP and TLS), dropped by the system (UDP only) and not "
                                                       "printed, then one line per sender (its address and the host "
                                                       "of its syslog header) and one for all: the messages received, "
                                                       "their rate from the sender's first message to its last, and, "
                                                       "where they carry a sequenceId (RFC 5424 [meta]), how many "
                                                       "went missing, came twice and came out of order.")});
        parser.addOption({kPlotName,
                          QStringLiteral("With --stdout, write at the end a chart of the last 10 minutes as an "
                                         "800 x 300 PNG image to this file: the messages received each second, "
                                         "with the datagrams dropped by the system (UDP only) stacked on them in "
                                         "red; the last column is the run's last part of a second. Needs no "
                                         "display. A file that cannot be written is reported, with exit code 3."),
                          QStringLiteral("file")});
    }
};

} // namespace

ParseResult parseOptions(const QStringList& arguments)
{
    Declared declared;
    QCommandLineParser& parser = declared.parser;
    ParseResult result;
    auto invalid = [&result](const QString& error) {
        result.status = ParseStatus::Invalid;
        result.error = error;
        return result;
    };

    if (!parser.parse(arguments)) {
        return invalid(parser.errorText());
    }
    if (parser.isSet(declared.help)) {
        return {ParseStatus::ShowHelp, {}, {}};
    }
    if (parser.isSet(declared.version)) {
        return {ParseStatus::ShowVersion, {}, {}};
    }
    if (!parser.positionalArguments().isEmpty()) {
        return invalid(QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().constFirst()));
    }

    Options& options = result.options;
    if (parser.isSet(kPortName)) {
        const QString text = parser.value(kPortName);
        bool ok = false;
        const uint port = text.toUInt(&ok);
        if (!ok || port > 65535) {
            return invalid(QStringLiteral("Invalid port: %1 (expected 0 to 65535)").arg(text));
        }
        options.port = static_cast<quint16>(port);
    }
    if (parser.isSet(kBindName)) {
        const QString text = parser.value(kBindName);
        if (!options.bindAddress.setAddress(text)) {
            return invalid(QStringLiteral("Invalid bind address: %1").arg(text));
        }
    }
    const bool hasCertificate = parser.isSet(kTlsCertName);
    if (hasCertificate != parser.isSet(kTlsKeyName)) {
        return invalid(hasCertificate ? QStringLiteral("--tls-cert needs --tls-key")
                                      : QStringLiteral("--tls-key needs --tls-cert"));
    }
    if (hasCertificate) {
        options.transport = Transport::Tls;
        options.tlsCertificate = parser.value(kTlsCertName);
        options.tlsKey = parser.value(kTlsKeyName);
    } else if (parser.isSet(kTcpName)) {
        options.transport = Transport::Tcp;
    }
    options.stdoutMode = parser.isSet(kStdoutName);
    options.verbose = parser.isSet(kVerboseName);
    if (options.verbose && !options.stdoutMode) {
        return invalid(QStringLiteral("--verbose needs --stdout"));
    }
    options.plotPath = parser.value(kPlotName);
    if (parser.isSet(kPlotName) && !options.stdoutMode) {
        return invalid(QStringLiteral("--plot needs --stdout"));
    }
    if (parser.isSet(kPlotName) && options.plotPath.isEmpty()) {
        return invalid(QStringLiteral("--plot needs a file name"));
    }
    return result;
}

bool wantsWindow(const QStringList& arguments)
{
    const ParseResult parsed = parseOptions(arguments);
    switch (parsed.status) {
    case ParseStatus::Run:
        return !parsed.options.stdoutMode;
    case ParseStatus::ShowHelp:
    case ParseStatus::ShowVersion:
        return false;
    case ParseStatus::Invalid:
        break;
    }
    return !arguments.contains(QStringLiteral("--") + kStdoutName);
}

QString helpText()
{
    Declared declared;
    return declared.parser.helpText();
}

QString versionText()
{
    return QStringLiteral("harkwell %1\n").arg(QStringLiteral(KORVANE_VERSION));
}

} // namespace korvane::harkwell
