// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The ground truth of a run: korvane-cli sends to an rsyslog whose receive buffer is too small for
// the rate, so that rsyslog loses lines, and the check of what rsyslog stored against the run's
// manifest finds exactly the lines rsyslog did not store, counted here on their own.
#include "rsyslogkit.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

using namespace korvane::e2e;

class E2eCheck : public QObject
{
    Q_OBJECT

private slots:
    void checkFindsWhatTheCollectorLost_data();
    void checkFindsWhatTheCollectorLost();
};

void E2eCheck::checkFindsWhatTheCollectorLost_data()
{
    QTest::addColumn<QByteArray>("sequenceIds");
    QTest::newRow("known by sequence id") << QByteArray("1");
    QTest::newRow("known by content") << QByteArray("0");
}

void E2eCheck::checkFindsWhatTheCollectorLost()
{
    QFETCH(QByteArray, sequenceIds);
    const QString rsyslogd = rsyslogdPath();
    QVERIFY2(!rsyslogd.isEmpty(), "rsyslogd is not installed (scripts/test installs it)");
    QVERIFY2(!binDir().isEmpty(), "KORVANE_BIN_DIR is not set");
    Workspace ws;
    QString why;
    RsyslogListener listener{RsyslogInput::Udp, rawMessage};
    listener.receiveBuffer = QStringLiteral("4k");
    const auto rsyslog = startRsyslog(rsyslogd, ws.root(), {listener}, {}, why);
    QVERIFY2(rsyslog, qPrintable(why));

    constexpr int total = 20000;
    QVERIFY(ws.write(QStringLiteral("SAMPLE.TXT"), crlfLines(numberedTemplates(total))));
    QVERIFY(ws.write(QStringLiteral("korvane.ini"),
                     iniText(completeKeys({{"SyslogFile", "1"},
                                           {"HostIP", "127.0.0.1"},
                                           {"UDP_Port_Syslog", QByteArray::number(rsyslog->port())},
                                           {"SyslogFormat", "2"},
                                           {"SequenceId", sequenceIds},
                                           {"Delay", "0.000001"},
                                           {"onetime", "1"},
                                           {"GenerationType", "0"}}))));
    const CliResult sent = Cli(ws.folder(), {QStringLiteral("--manifest"), QStringLiteral("run.json")}).wait(120000);
    QVERIFY2(sent.finished && (sent.exitCode == 0 || sent.exitCode == 3), qPrintable(sent.errors));
    // rsyslog has stored what it will once its count stands still.
    qsizetype before = -1;
    while (rsyslog->lines().size() != before) {
        before = rsyslog->lines().size();
        QTest::qWait(1000);
    }
    QVERIFY(rsyslog->stop());

    QSet<int> stored;
    for (const QByteArray& line : rsyslog->lines()) {
        const int number = lineNumber(line);
        QVERIFY2(number >= 0 && number < total, line.constData());
        stored.insert(number);
    }
    QVERIFY2(stored.size() < total, "rsyslog lost no line: the test proves nothing");
    QVERIFY2(!stored.isEmpty(), qPrintable(rsyslog->log()));

    const CliResult checked =
        Cli(ws.folder(), {QStringLiteral("--check"), rsyslog->outPath(), QStringLiteral("--manifest"),
                          QStringLiteral("run.json"), QStringLiteral("--report"), QStringLiteral("report.json")})
            .wait(120000);
    QVERIFY2(checked.finished && checked.exitCode == 3, qPrintable(checked.errors));
    const QJsonObject report = QJsonDocument::fromJson(ws.read(QStringLiteral("report.json"))).object();
    QCOMPARE(report.value(QStringLiteral("expected")).toInteger(), total);
    QCOMPARE(report.value(QStringLiteral("missing")).toInteger(), total - stored.size());
    QCOMPARE(report.value(QStringLiteral("stored")).toInteger(), stored.size());
    for (const char* none : {"duplicated", "damaged"}) {
        QCOMPARE(report.value(QLatin1String(none)).toInteger(), 0);
    }
    // The probes that told rsyslog was listening are none of the run's.
    QFile raw(rsyslog->outPath());
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const qsizetype probes = raw.readAll().count('\n') - rsyslog->lines().size();
    QCOMPARE(report.value(QStringLiteral("foreign")).toInteger(), probes);
    qInfo("rsyslog stored %lld of %d lines; the check said: %s", static_cast<long long>(stored.size()), total,
          qPrintable(checked.errors.trimmed()));
}

QTEST_GUILESS_MAIN(E2eCheck)
#include "e2e_check.moc"
