// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// What the tests against real syslog receivers share: a receiver daemon in the foreground with
// one listener per case on ports of its own, each listener storing what it read in a file of its
// own; and one pass of the shipped sources from korvane-cli, with the lines that must then be
// stored, known from a pass of the same settings into GENERATE.TXT.

#include "e2ekit.h"

#include <QHash>
#include <QSet>

#include <functional>
#include <memory>

namespace korvane::e2e {

enum class Transport
{
    Udp,
    Tcp,
    Tls,
    Relp // each message acknowledged (rsyslog's imrelp)
};

inline QByteArray protocolName(Transport transport)
{
    switch (transport) {
    case Transport::Udp:
        return "UDP";
    case Transport::Tcp:
        return "TCP";
    case Transport::Tls:
        return "TLS";
    case Transport::Relp:
        break;
    }
    return "RELP";
}

// `count` different ports on 127.0.0.1 that were free a moment ago (a TCP port of the same number
// is as likely free); the daemon that binds them tries others when one is taken meanwhile.
inline QList<quint16> freePorts(qsizetype count)
{
    QList<quint16> ports;
    while (ports.size() < count) {
        const quint16 port = freeUdpPort();
        if (port != 0 && !ports.contains(port)) {
            ports.append(port);
        }
    }
    return ports;
}

// Text that tells a probe from a line of korvane's.
inline constexpr const char* probeText = "korvane-e2e-probe";

// The lines of a receiver's file, probes left out.
inline QList<QByteArray> storedLines(const QString& path)
{
    QList<QByteArray> kept;
    QFile file(path);
    const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    for (const QByteArray& line : text.split('\n')) {
        if (!line.isEmpty() && !line.contains(probeText)) {
            kept.append(line);
        }
    }
    return kept;
}

// True once the listener takes what is sent to it: a UDP probe is stored in `outPath`; a TCP, TLS
// or RELP listener accepts a connection (a TLS or RELP probe would need a client of its own).
inline bool probeListener(Transport transport, quint16 port, const QString& outPath)
{
    const bool udp = transport == Transport::Udp;
    const int fd = ::socket(AF_INET, (udp ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    if (connected && udp) {
        ::send(fd, probeText, std::strlen(probeText), 0);
    }
    ::close(fd);
    if (!udp) {
        return connected;
    }
    QFile file(outPath);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains(probeText);
}

// A receiver daemon in the foreground, its output and errors in one log file; ended with SIGTERM
// (it writes what it holds first).
class Daemon : public Program
{
public:
    ~Daemon() { stop(); }

    bool start(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
               const QString& logPath)
    {
        return Program::start(program, arguments, environment, {}, logPath);
    }
};

// --- One pass of the shipped sources --------------------------------------------------------------

// A file of data/, as shipped.
inline QByteArray shippedFile(const QString& name)
{
    QFile file(qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/data/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Lines of a CR LF text, without their line ends.
inline QList<QByteArray> textLines(const QByteArray& text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
    return lines;
}

// The keys of a pass with the shipped source: one pass, lines close together, the given header.
inline Keys passKeys(int format, bool realLogs = false)
{
    return {{"RealLogFile", realLogs ? "1" : "0"},
            {"SyslogFormat", QByteArray::number(format)},
            {"Delay", "0.001"},
            {"onetime", "1"}};
}

// What a pass with these keys sends: the same pass into GENERATE.TXT (the random draws are the
// same at every start; only the time stamps differ). Empty when the pass failed (`why` says how).
inline QList<QByteArray> linesOfFilePass(const Workspace& ws, const Keys& keys, QString& why)
{
    Keys fileKeys = keys;
    fileKeys.append(std::pair<QByteArray, QByteArray>("SyslogFile", "0"));
    if (!ws.write(QStringLiteral("korvane.ini"), iniText(completeKeys(fileKeys)))) {
        why = QStringLiteral("cannot write korvane.ini");
        return {};
    }
    Cli cli(ws.folder(), {QStringLiteral("--new"), QStringLiteral("--quiet")});
    const CliResult r = cli.wait();
    if (!r.finished || r.exitCode != 0) {
        why = QStringLiteral("the pass into GENERATE.TXT failed: ") + r.errors;
        return {};
    }
    return textLines(ws.read(QStringLiteral("GENERATE.TXT")));
}

// The same pass to a receiver on 127.0.0.1.
inline CliResult networkPass(const Workspace& ws, const Keys& keys, Transport transport, quint16 port,
                             const QString& caFile)
{
    Keys netKeys = keys;
    netKeys += Keys{{"SyslogFile", "1"},
                    {"HostIP", "127.0.0.1"},
                    {"UDP_Port_Syslog", QByteArray::number(port)},
                    {"Protocol", protocolName(transport)},
                    {"TLS_CAFile", caFile.toUtf8()}};
    if (!ws.write(QStringLiteral("korvane.ini"), iniText(completeKeys(netKeys)))) {
        return {};
    }
    Cli cli(ws.folder(), {QStringLiteral("--quiet")});
    return cli.wait();
}

// The wire form of each SyslogFormat, as the receiver must store it (FirewallName Pix-Inside-Demo).
inline QRegularExpression wireForm(int format)
{
    static const char* const forms[] = {
        // 0: the composed line, no priority
        "^\\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d  Pix-Inside-Demo %PIX-\\d-\\d+: ",
        // 1: RFC 3164
        "^<\\d{1,3}>[A-Z][a-z]{2} [ \\d]\\d \\d\\d:\\d\\d:\\d\\d Pix-Inside-Demo %PIX-\\d-\\d+: ",
        // 2: RFC 5424, APP-NAME PIX, MSGID the message number
        "^<\\d{1,3}>1 \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d) Pix-Inside-Demo PIX - "
        "\\d+ - %PIX-\\d-\\d+: ",
        // 3: the device's own form
        "^<\\d{1,3}>[A-Z][a-z]{2} [ \\d]\\d \\d{4} \\d\\d:\\d\\d:\\d\\d Pix-Inside-Demo : %PIX-\\d-\\d+: ",
    };
    return QRegularExpression(QString::fromLatin1(forms[format]));
}

// A line with its time stamp, in whichever form, replaced by "STAMP": what two passes share.
inline QByteArray withoutStamp(const QByteArray& line)
{
    static const QRegularExpression stamp(QStringLiteral(
        "^(<\\d{1,3}>(?:1 )?)?(?:\\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d|[A-Z][a-z]{2} [ \\d]\\d(?: \\d{4})? "
        "\\d\\d:\\d\\d:\\d\\d|\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(?:\\.\\d+)?(?:Z|[+-]\\d\\d:\\d\\d))"));
    QString text = QString::fromLatin1(line);
    const QRegularExpressionMatch m = stamp.match(text);
    if (!m.hasMatch()) {
        return line;
    }
    return (m.captured(1) + QStringLiteral("STAMP") + text.mid(m.capturedEnd())).toLatin1();
}

// Why the stored lines are not the sent lines, each whole, in order and in the format's form; empty
// when they are.
inline QString wholeLinesMismatch(const QList<QByteArray>& sent, const QList<QByteArray>& stored, int format)
{
    const QRegularExpression form = wireForm(format);
    if (stored.size() != sent.size()) {
        return QStringLiteral("%1 messages stored for %2 lines sent; the first stored: \"%3\", sent: \"%4\"")
            .arg(stored.size())
            .arg(sent.size())
            .arg(QString::fromLatin1(stored.value(0)), QString::fromLatin1(sent.value(0)));
    }
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (!form.match(QString::fromLatin1(stored[i])).hasMatch()) {
            return QStringLiteral("message %1 is not in the form of SyslogFormat %2: \"%3\"")
                .arg(i)
                .arg(format)
                .arg(QString::fromLatin1(stored[i]));
        }
        if (withoutStamp(stored[i]) != withoutStamp(sent[i])) {
            return QStringLiteral("message %1 stored as \"%2\", sent as \"%3\"")
                .arg(i)
                .arg(QString::fromLatin1(stored[i]), QString::fromLatin1(sent[i]));
        }
    }
    return {};
}

// The cases of a pass: each SyslogFormat over each transport, with the framing korvane chooses
// by default. Case i has listener i of the receiver.
struct WireCase
{
    const char* name;
    Transport transport;
    int format;
};

inline const QList<WireCase>& wireCases()
{
    static const QList<WireCase> cases = {
        {"plain lines over UDP", Transport::Udp, 0},
        {"plain lines over TCP, octet counting by default", Transport::Tcp, 0},
        {"plain lines over TLS, octet counting by default", Transport::Tls, 0},
        {"RFC 3164 over UDP", Transport::Udp, 1},
        {"RFC 3164 over TCP, line feeds by default", Transport::Tcp, 1},
        {"RFC 3164 over TLS, octet counting by default", Transport::Tls, 1},
        {"RFC 5424 over UDP", Transport::Udp, 2},
        {"RFC 5424 over TCP, line feeds by default", Transport::Tcp, 2},
        {"RFC 5424 over TLS, octet counting by default", Transport::Tls, 2},
        {"device form over UDP", Transport::Udp, 3},
        {"device form over TCP, line feeds by default", Transport::Tcp, 3},
        {"device form over TLS, octet counting by default", Transport::Tls, 3},
    };
    return cases;
}

// The data rows of the cases: columns transport, format and listener.
inline void addWireRows()
{
    QTest::addColumn<Transport>("transport");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("listener");
    for (int i = 0; i < wireCases().size(); ++i) {
        const WireCase& c = wireCases()[i];
        QTest::newRow(c.name) << c.transport << c.format << i;
    }
}

// The number of lines of a shipped source that a pass emits: every line holding "PIX-".
inline qsizetype emittedLines(const QString& source)
{
    qsizetype count = 0;
    for (const QByteArray& line : textLines(shippedFile(source))) {
        count += line.contains("PIX-") ? 1 : 0;
    }
    return count;
}

// One pass of the shipped templates in `format` over `transport` to a receiver's listener at
// `port`, checked against the same pass into GENERATE.TXT: every line stored whole, line for line.
// `stored` reads what the listener holds. "" when it holds; otherwise what went wrong (with the
// receiver's `log`). `sent` gets the lines of the file pass, `kept` how many the listener held.
inline QString checkOnePass(int format, Transport transport, quint16 port, const QString& caFile,
                            const std::function<QList<QByteArray>()>& stored, const std::function<QString()>& log,
                            QList<QByteArray>& sent, qsizetype& kept)
{
    Workspace ws;
    if (!ws.write(QStringLiteral("SAMPLE.TXT"), shippedFile(QStringLiteral("SAMPLE.TXT")))) {
        return QStringLiteral("SAMPLE.TXT could not be written");
    }
    const Keys keys = passKeys(format);
    QString why;
    sent = linesOfFilePass(ws, keys, why);
    if (sent.size() != emittedLines(QStringLiteral("SAMPLE.TXT"))) {
        return QStringLiteral("the file pass: ") + why;
    }
    const CliResult r = networkPass(ws, keys, transport, port, caFile);
    if (!r.finished || r.exitCode != 0) {
        return QStringLiteral("korvane-cli: ") + r.errors;
    }
    if (!waitUntil([&] { return stored().size() >= sent.size(); }, 10000)) {
        return QStringLiteral("%1 of %2 lines stored\n").arg(stored().size()).arg(sent.size()) + log();
    }
    const QList<QByteArray> lines = stored();
    kept = lines.size();
    return wholeLinesMismatch(sent, lines, format);
}

} // namespace korvane::e2e

Q_DECLARE_METATYPE(korvane::e2e::Transport)
