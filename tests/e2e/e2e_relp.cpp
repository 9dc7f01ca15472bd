// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Korvane feeding rsyslog over RELP: a run of korvane-cli reaches rsyslog's imrelp whole while
// rsyslog is restarted three times during it. A line may be stored twice (sent again after a break,
// though the receiver had it); none is missing, and korvane-cli counts every line delivered.
#include "rsyslogkit.h"

using namespace korvane::e2e;

class E2eRelp : public QObject
{
    Q_OBJECT

private slots:
    void everyLineArrivesThroughThreeRestarts();
};

void E2eRelp::everyLineArrivesThroughThreeRestarts()
{
    const QString rsyslogd = rsyslogdPath();
    QVERIFY2(!rsyslogd.isEmpty(), "rsyslogd is not installed (scripts/test installs rsyslog and rsyslog-relp)");
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
    Workspace ws;
    QString why;
    const auto rsyslog = startRsyslog(rsyslogd, ws.root(), RsyslogInput::Relp, rawMessage, {}, why);
    QVERIFY2(rsyslog, qPrintable(why));

    constexpr int total = 20000;
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(total))));
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "1"},
                                           {"HostIP", "127.0.0.1"},
                                           {"UDP_Port_Syslog", QByteArray::number(rsyslog->port())},
                                           {"Protocol", "RELP"},
                                           {"SyslogFormat", "1"},
                                           {"Delay", "0.0002"},
                                           {"onetime", "1"},
                                           {"GenerationType", "0"}}))));
    Cli cli(ws.folder(), {});
    for (const qsizetype stored : {5000, 10000, 15000}) {
        QVERIFY2(waitUntil([&] { return rsyslog->lines().size() >= stored; }, 60000), qPrintable(rsyslog->log()));
        QVERIFY(rsyslog->stop());
        QVERIFY2(rsyslog->start() && rsyslog->waitUntilReady(30000), qPrintable(rsyslog->log()));
    }
    const CliResult r = cli.wait(120000);
    QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errors));
    QVERIFY2(waitUntil([&] { return rsyslog->lines().size() >= total; }, 30000), qPrintable(rsyslog->log()));
    QVERIFY(rsyslog->stop());

    QList<int> times(total, 0);
    for (const QByteArray& line : rsyslog->lines()) {
        const int number = lineNumber(line);
        QVERIFY2(number >= 0 && number < total, line.constData());
        ++times[number];
    }
    int twice = 0;
    for (int i = 0; i < total; ++i) {
        QVERIFY2(times[i] > 0, qPrintable(QStringLiteral("line %1 never arrived").arg(i)));
        twice += times[i] - 1;
    }
    qInfo("%d of %d lines stored twice; korvane-cli said: %s", twice, total, qPrintable(r.errors.trimmed()));
    QVERIFY2(r.errors.contains(QStringLiteral("%1 delivered").arg(total)), qPrintable(r.errors));
}

QTEST_GUILESS_MAIN(E2eRelp)
#include "e2e_relp.moc"
