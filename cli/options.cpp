// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/options.h"

#include "session/fleetplan.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cmath>

namespace korvane::cli {

ParseResult parseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption dir(QStringLiteral("dir"), {}, QStringLiteral("DIR"));
    const QCommandLineOption count(QStringLiteral("count"), {}, QStringLiteral("N"));
    const QCommandLineOption duration(QStringLiteral("duration"), {}, QStringLiteral("SECONDS"));
    const QCommandLineOption newFile(QStringLiteral("new"));
    const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption rateLog(QStringLiteral("rate-log"), {}, QStringLiteral("FILE"));
    const QCommandLineOption manifest(QStringLiteral("manifest"), {}, QStringLiteral("FILE"));
    const QCommandLineOption check(QStringLiteral("check"), {}, QStringLiteral("STORED"));
    const QCommandLineOption report(QStringLiteral("report"), {}, QStringLiteral("FILE"));
    const QCommandLineOption escaped(QStringLiteral("escaped"));
    const QCommandLineOption fleet(QStringLiteral("fleet"), {}, QStringLiteral("N"));
    const QCommandLineOption fleetOffset(QStringLiteral("fleet-offset"), {}, QStringLiteral("K"));
    const QCommandLineOption fleetWidth(QStringLiteral("fleet-width"), {}, QStringLiteral("DIGITS"));
    parser.addOptions({help, version, dir, count, duration, newFile, quiet, rateLog, manifest, check, report, escaped,
                       fleet, fleetOffset, fleetWidth});

    ParseResult r;
    if (!parser.parse(arguments)) {
        r.status = ParseResult::Status::Invalid;
        r.error = parser.errorText();
        return r;
    }
    if (parser.isSet(help)) {
        r.status = ParseResult::Status::ShowHelp;
        return r;
    }
    if (parser.isSet(version)) {
        r.status = ParseResult::Status::ShowVersion;
        return r;
    }
    if (!parser.positionalArguments().isEmpty()) {
        r.status = ParseResult::Status::Invalid;
        r.error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return r;
    }
    if (parser.isSet(count)) {
        bool ok = false;
        const qlonglong n = parser.value(count).toLongLong(&ok);
        if (!ok || n < 1) {
            r.status = ParseResult::Status::Invalid;
            r.error =
                QStringLiteral("--count takes a whole number of lines, 1 or more, not '%1'").arg(parser.value(count));
            return r;
        }
        r.options.count = n;
    }
    if (parser.isSet(duration)) {
        bool ok = false;
        const double seconds = parser.value(duration).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 1e9) {
            r.status = ParseResult::Status::Invalid;
            r.error =
                QStringLiteral("--duration takes a number of seconds above 0, not '%1'").arg(parser.value(duration));
            return r;
        }
        r.options.durationSeconds = seconds;
    }
    r.options.folder = parser.value(dir);
    r.options.newFile = parser.isSet(newFile);
    r.options.quiet = parser.isSet(quiet);
    r.options.rateLog = parser.value(rateLog);
    // Named from the folder the command was given in, not from --dir.
    if (parser.isSet(manifest)) {
        if (parser.value(manifest).isEmpty()) {
            r.status = ParseResult::Status::Invalid;
            r.error = QStringLiteral("--manifest takes the name of a file");
            return r;
        }
        r.options.manifest = QFileInfo(parser.value(manifest)).absoluteFilePath();
    }
    const auto invalid = [&r](const QString& error) {
        r.status = ParseResult::Status::Invalid;
        r.error = error;
        return r;
    };
    if (parser.isSet(check)) {
        if (parser.value(check).isEmpty() || r.options.manifest.isEmpty()) {
            return invalid(QStringLiteral("--check takes the collector's file, and --manifest the run's"));
        }
        r.options.check = QFileInfo(parser.value(check)).absoluteFilePath();
        r.status = ParseResult::Status::Check;
    } else if (parser.isSet(report) || parser.isSet(escaped)) {
        return invalid(QStringLiteral("--report and --escaped go with --check"));
    }
    if (parser.isSet(report)) {
        if (parser.value(report).isEmpty()) {
            return invalid(QStringLiteral("--report takes the name of a file"));
        }
        r.options.report = QFileInfo(parser.value(report)).absoluteFilePath();
    }
    r.options.escaped = parser.isSet(escaped);
    if (parser.isSet(fleet)) {
        bool ok = false;
        const qlonglong n = parser.value(fleet).toLongLong(&ok);
        if (!ok || n < 1 || n > kLargestFleet) {
            return invalid(QStringLiteral("--fleet takes a number of firewalls from 1 to %1, not '%2'")
                               .arg(kLargestFleet)
                               .arg(parser.value(fleet)));
        }
        r.options.fleet = static_cast<int>(n);
    }
    if (parser.isSet(fleetOffset)) {
        bool ok = false;
        const qlonglong k = parser.value(fleetOffset).toLongLong(&ok);
        if (r.options.fleet == 0) {
            return invalid(QStringLiteral("--fleet-offset goes with --fleet"));
        }
        if (!ok || k < 0 || k + r.options.fleet > kLargestFleet) {
            return invalid(QStringLiteral("--fleet-offset takes a whole number from 0 that keeps the firewalls' "
                                          "numbers up to %1, not '%2'")
                               .arg(kLargestFleet)
                               .arg(parser.value(fleetOffset)));
        }
        r.options.fleetOffset = static_cast<int>(k);
    }
    if (parser.isSet(fleetWidth)) {
        bool ok = false;
        const int digits = parser.value(fleetWidth).toInt(&ok);
        if (r.options.fleet == 0) {
            return invalid(QStringLiteral("--fleet-width goes with --fleet"));
        }
        if (!ok || digits < 1 || digits > 7) {
            return invalid(QStringLiteral("--fleet-width takes a number of digits from 1 to 7, not '%1'")
                               .arg(parser.value(fleetWidth)));
        }
        r.options.fleetWidth = digits;
    }
    if (r.options.fleet > 0 && r.status == ParseResult::Status::Check) {
        return invalid(QStringLiteral("--fleet goes with a run, not with --check"));
    }
    return r;
}

QString helpText()
{
    return QStringLiteral(
        "Usage: korvane-cli [OPTION]...\n"
        "Emits firewall syslog lines as Korvane's window does, without a window. korvane.ini, SAMPLE.TXT\n"
        "and KORVANE.TXT of the working folder choose the lines, their pace and where they go: into\n"
        "GENERATE.TXT (SyslogFile=0), or to the receiver HostIP:UDP_Port_Syslog (SyslogFile=1) over UDP,\n"
        "TCP, TLS or RELP (Protocol; TCP_Framing chooses octet counting or line feeds; TLS_CAFile,\n"
        "TLS_CertFile, TLS_KeyFile and TLS_PeerName what a TLS connection trusts and shows). The run starts\n"
        "at once.\n"
        "\n"
        "  --dir DIR           work in DIR instead of the current folder\n"
        "  --count N           end after N lines\n"
        "  --duration SECONDS  end after SECONDS (fractions allowed)\n"
        "  --new               start GENERATE.TXT afresh (by default lines are appended to it)\n"
        "  -q, --quiet         no start line and no progress line on a terminal\n"
        "  --rate-log FILE     write the lines emitted, sent and dropped in each second to FILE (CSV)\n"
        "  --manifest FILE     at the end, write the run's manifest into FILE (JSON): the settings, the\n"
        "                      source's digest, and how many lines were emitted, delivered and lost\n"
        "  --check STORED      instead of a run, find the messages of the run of --manifest in STORED, a\n"
        "                      collector's file of one message per line: say how many are missing,\n"
        "                      duplicated, reordered, damaged, and the foreign lines (the folder must hold\n"
        "                      the run's source); exit status 0 when none is missing, duplicated or\n"
        "                      damaged, 3 otherwise, 1 when a file cannot be read\n"
        "  --fleet N           run N firewalls at once, each with its own name (FirewallName-1 to\n"
        "                      FirewallName-N, the numbers padded with zeros to one width), random\n"
        "                      lines, start within the first Delay, and source address (SourceAddress\n"
        "                      + 0 to N - 1); each keeps its own pace, N lines every Delay in all\n"
        "  --fleet-offset K    with --fleet, number the firewalls K + 1 to K + N (names, random lines\n"
        "                      and addresses follow the number), for one fleet made by several processes\n"
        "  --fleet-width DIGITS  with --fleet, pad the numbers in the names to DIGITS (by default those of\n"
        "                      K + N), so that the processes of one fleet name their firewalls alike\n"
        "  --report FILE       with --check, write those counts, in all and per message id, into FILE (JSON)\n"
        "  --escaped           with --check, STORED escapes control bytes as harkwell --stdout writes them\n"
        "  -h, --help          show this help and end\n"
        "  -v, --version       show the version and end\n"
        "\n"
        "The run also ends after one pass when onetime is 1, and on SIGINT, SIGTERM or SIGHUP: the program\n"
        "then ends within a second, and at once on a second signal. Over TCP, TLS and RELP the receiver is\n"
        "connected in the background, and again after a break: lines wait in a queue meanwhile, lines the\n"
        "receiver had not acknowledged are sent again, and lines still queued when the run ends get up to\n"
        "10 s to go out (half a second after a signal). On a terminal a line at the start says where the\n"
        "lines go and a status line shows the progress. Repairs of korvane.ini are said on standard error,\n"
        "as is the summary that ends every run: how many lines were delivered (written, for GENERATE.TXT),\n"
        "dropped, not delivered, and sent again after a broken connection; lines dropped or left for the\n"
        "receiver are said with the reason before it.\n"
        "\n"
        "Exit status:\n"
        "  0  every line emitted was handed over: written, taken by the system, or acknowledged by the\n"
        "     receiver\n"
        "  1  the run failed, or could not start (the reason on standard error)\n"
        "  2  usage error\n"
        "  3  the run ended as asked, but lines were dropped or not delivered\n");
}

} // namespace korvane::cli
