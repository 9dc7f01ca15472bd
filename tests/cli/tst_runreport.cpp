// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "cli/runreport.h"

#include <QTest>

using namespace korvane;
using namespace korvane::cli;

namespace {

RunProgress counts(std::int64_t delivered, std::int64_t dropped, std::int64_t undelivered, std::int64_t resent)
{
    RunProgress p;
    p.emitted = delivered + dropped + undelivered;
    p.delivered = delivered;
    p.dropped = dropped;
    p.undelivered = undelivered;
    p.resent = resent;
    p.seconds = 1.204;
    return p;
}

} // namespace

Q_DECLARE_METATYPE(korvane::RunProgress)

class TestRunReport : public QObject
{
    Q_OBJECT

private slots:
    void exitStatus_data();
    void exitStatus();
    void summary_data();
    void summary();
    void statusLineFitsTheTerminal_data();
    void statusLineFitsTheTerminal();
};

void TestRunReport::exitStatus_data()
{
    QTest::addColumn<bool>("failed");
    QTest::addColumn<RunProgress>("progress");
    QTest::addColumn<int>("status");

    QTest::newRow("every line delivered") << false << counts(5000, 0, 0, 0) << 0;
    QTest::newRow("no line emitted") << false << counts(0, 0, 0, 0) << 0;
    QTest::newRow("lines sent again, then delivered") << false << counts(5000, 0, 0, 12) << 0;
    QTest::newRow("lines dropped by the system") << false << counts(4990, 10, 0, 0) << 3;
    QTest::newRow("lines left in the queue") << false << counts(4990, 0, 10, 0) << 3;
    QTest::newRow("a failed run, whatever it delivered") << true << counts(5000, 0, 0, 0) << 1;
}

void TestRunReport::exitStatus()
{
    QFETCH(bool, failed);
    QFETCH(RunProgress, progress);
    QFETCH(int, status);
    QCOMPARE(int(exitStatusOf(failed, progress)), status);
}

void TestRunReport::summary_data()
{
    const QString tcp = QStringLiteral("TCP 127.0.0.1:5516, octet counting, RFC 3164");
    QTest::addColumn<RunProgress>("progress");
    QTest::addColumn<bool>("intoFile");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("line");

    QTest::newRow("every line delivered")
        << counts(5000, 0, 0, 0) << false << tcp
        << "5000 lines in 1.204 s (4153 lines/s) to TCP 127.0.0.1:5516, octet counting, RFC 3164; 5000 delivered";
    QTest::newRow("lines not delivered")
        << counts(4990, 0, 10, 0) << false << tcp
        << "5000 lines in 1.204 s (4153 lines/s) to TCP 127.0.0.1:5516, octet counting, RFC 3164; 4990 delivered, "
           "10 not delivered";
    QTest::newRow("every count there is")
        << counts(4980, 5, 15, 40) << false << tcp
        << "5000 lines in 1.204 s (4153 lines/s) to TCP 127.0.0.1:5516, octet counting, RFC 3164; 4980 delivered, "
           "5 dropped, 15 not delivered, 40 sent again after a broken connection";
    QTest::newRow("UDP lines dropped")
        << counts(4990, 10, 0, 0) << false << QStringLiteral("UDP 127.0.0.1:514, plain lines")
        << "5000 lines in 1.204 s (4153 lines/s) to UDP 127.0.0.1:514, plain lines; 4990 delivered, 10 dropped";
    QTest::newRow("a file on a full disk")
        << counts(4990, 0, 10, 0) << true << QStringLiteral("/srv/fw/GENERATE.TXT, plain lines")
        << "5000 lines in 1.204 s (4153 lines/s) to /srv/fw/GENERATE.TXT, plain lines; 4990 written, 10 not written";
}

void TestRunReport::summary()
{
    QFETCH(RunProgress, progress);
    QFETCH(bool, intoFile);
    QFETCH(QString, destination);
    QFETCH(QString, line);
    progress.intoFile = intoFile;
    QCOMPARE(QString::fromStdString(summaryLine(progress, destination)), line);
}

void TestRunReport::statusLineFitsTheTerminal_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("shown");

    const QString line = QStringLiteral("1018 lines  998 lines/s  1.0 s   68%");
    QTest::newRow("wide terminal: the whole line") << 80 << line;
    QTest::newRow("as wide as the line: its last column stays free") << int(line.size()) << line.chopped(1);
    QTest::newRow("40 columns: cut to 39") << 20 << line.left(19);
    QTest::newRow("width not known: the whole line") << 0 << line;
}

void TestRunReport::statusLineFitsTheTerminal()
{
    QFETCH(int, columns);
    QFETCH(QString, shown);
    const std::string line = "1018 lines  998 lines/s  1.0 s   68%";
    QCOMPARE(QString::fromStdString(std::string(fitToWidth(line, columns))), shown);
}

QTEST_APPLESS_MAIN(TestRunReport)
#include "tst_runreport.moc"
