// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Runs started from the window with real timers: what reaches the output file, the output box
// and a UDP receiver, and how the transport, the Source File button, the title and the lamps
// follow the run, Pause and Stop.
#include "windowtest.h"

#include <QAbstractButton>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using namespace korvane;
using namespace korvane::test;

using Keys = std::vector<std::pair<QByteArray, QByteArray>>;
Q_DECLARE_METATYPE(Keys)

namespace {

const QByteArray threeTemplates = "%PIX-6-199001: Line one\r\n%PIX-6-199002: Line two\r\n%PIX-6-199003: Line three\r\n";
const QByteArray header = "06 Dec 2026 04:47:51  Pix-Inside-Demo ";

// A started window, shown in the full view, over a folder with the given settings and files.
struct RunWindow
{
    bool start()
    {
        if (window.load() != KorvaneFRM::LoadOutcome::Shown || !showAndActivate(window)) {
            return false;
        }
        clickThrough(window, control(window, "Picture1"));
        return !window.isCompact();
    }
    QAbstractButton* play() const { return window.transport()->playButton(); }
    QAbstractButton* pause() const { return window.transport()->pauseButton(); }
    QAbstractButton* stop() const { return window.transport()->stopButton(); }
    QString transportState() const
    {
        return QStringLiteral("play=%1 pause=%2 stop=%3 source=%4")
            .arg(play()->isEnabled())
            .arg(pause()->isEnabled())
            .arg(stop()->isEnabled())
            .arg(control(window, "CMD_ReadPixFile")->isEnabled());
    }
    int lampsShown() const
    {
        int count = 0;
        for (const char* lamp : {"FRM_Yellow", "FRM_Red", "frm_green"}) {
            count += shown(window, lamp) ? 1 : 0;
        }
        return count;
    }
    int outputLines() const { return int(crlfLines(env.folder.read(QStringLiteral("GENERATE.TXT"))).size()); }

    WindowServices env;
    KorvaneFRM window{env.services()};
};

const QString idle = QStringLiteral("play=1 pause=0 stop=0 source=1");
const QString running = QStringLiteral("play=0 pause=1 stop=1 source=0");

// A UDP receiver on 127.0.0.1 at a port the settings accept (up to 32000).
bool bindReceiver(QUdpSocket& socket)
{
    const int first = 20000 + int(QCoreApplication::applicationPid() % 10000);
    for (int port = first; port < first + 2000; ++port) {
        if (socket.bind(QHostAddress::LocalHost, quint16(port > 32000 ? port - 12000 : port))) {
            return true;
        }
    }
    return false;
}

} // namespace

class WindowRunTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quietToolkitNotices(); }

    void linesReachTheOutputFile_data();
    void linesReachTheOutputFile();
    void transportFollowsTheRun();
    void pauseEnablesStopAndTogglesTheFlag();
    void stopEndsTheRun();
    void linesGoToTheReceiverOverUdp();
    void countsPastSixteenBits();
    void manifestHoldsTheRateOfEachSecond();
};

void WindowRunTest::linesReachTheOutputFile_data()
{
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("count");

    const Keys once{{"Delay", "0.02"}, {"onetime", "1"}, {"GenerationType", "0"}, {"SyslogFile", "0"}};
    const QByteArray composed = header + "%PIX-6-199001: Line one\r\n" + header + "%PIX-6-199002: Line two\r\n" +
                                header + "%PIX-6-199003: Line three\r\n";
    QTest::newRow("templates are dated and named") << once << "SAMPLE.TXT" << threeTemplates << composed << "Lines : 3";
    QTest::newRow("templates with LF only still go out with CR LF")
        << once << "SAMPLE.TXT" << QByteArray(threeTemplates).replace("\r\n", "\n") << composed << "Lines : 3";

    Keys realLogs = once;
    realLogs.push_back({"RealLogFile", "1"});
    const QByteArray logs = "Dec  6 04:47:51 10.1.1.1 %PIX-4-199101: first real line\r\n"
                            "Dec  6 04:47:52 10.1.1.1 %PIX-3-199102: second real line\r\n";
    QTest::newRow("real logs go out unchanged") << realLogs << "KORVANE.TXT" << logs << logs << "Lines : 2";

    Keys levelFour = once;
    levelFour[2] = {"GenerationType", "4"};
    levelFour.push_back({"RealLogFile", "1"});
    QTest::newRow("one severity level only")
        << levelFour << "KORVANE.TXT" << logs + "x %pix-4-199103: lower case\r\n"
        << QByteArray("Dec  6 04:47:51 10.1.1.1 %PIX-4-199101: first real line\r\n") << "Lines : 1";
}

void WindowRunTest::linesReachTheOutputFile()
{
    QFETCH(Keys, keys);
    QFETCH(QString, sourceName);
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, output);
    QFETCH(QString, count);

    RunWindow w;
    w.env.folder.writeSettings(keys);
    w.env.folder.write(sourceName, source);
    QVERIFY(w.start());
    QSignalSpy ended(&w.window, &KorvaneFRM::runEnded);

    clickThrough(w.window, w.play());
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);

    QCOMPARE(w.env.folder.read(QStringLiteral("GENERATE.TXT")), output);
    QCOMPARE(w.window.outputBox()->text().toLatin1(), output);
    QTRY_COMPARE(caption(w.window, "LBL_LineCount"), count);
    QCOMPARE(w.transportState(), idle);
    QCOMPARE(w.lampsShown(), 0);
    QVERIFY(shown(w.window, "LBL_titre"));
    QCOMPARE(caption(w.window, "LBL_titre"), QStringLiteral("Log's Generation"));
    QVERIFY(!shown(w.window, "LBL_ProgName"));
    QCOMPARE(w.window.flags().Paused, false);
    QCOMPARE(w.window.flags().StopRequested, false);
    QVERIFY(!w.window.runActive());
    QCOMPARE(ended.size(), 1);
}

void WindowRunTest::transportFollowsTheRun()
{
    RunWindow w;
    w.env.folder.writeSettings({{"Delay", "0.4"}, {"onetime", "0"}, {"GenerationType", "0"}});
    w.env.folder.write(QStringLiteral("SAMPLE.TXT"), threeTemplates);
    QVERIFY(w.start());
    QCOMPARE(w.transportState(), idle);
    QCOMPARE(w.lampsShown(), 0);

    clickThrough(w.window, w.play());
    QCOMPARE(w.transportState(), running);
    QCOMPARE(caption(w.window, "LBL_titre"), QStringLiteral("Log's Generation"));
    QVERIFY(shown(w.window, "LBL_titre"));
    QVERIFY(!shown(w.window, "LBL_ProgName"));

    // The three lamps change together, once per line (shown with the box's next update).
    QTRY_COMPARE(w.outputLines(), 1);
    QTRY_COMPARE(w.lampsShown(), 3);
    QTRY_COMPARE(w.outputLines(), 2);
    QTRY_COMPARE(w.lampsShown(), 0);
    QCOMPARE(w.transportState(), running);

    // A click on Play, disabled now, starts nothing more.
    clickThrough(w.window, w.play());
    QCOMPARE(w.transportState(), running);
    QVERIFY(w.window.runActive());

    QSignalSpy ended(&w.window, &KorvaneFRM::runEnded);
    clickThrough(w.window, w.stop());
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);
    QCOMPARE(w.transportState(), idle);
    QCOMPARE(w.lampsShown(), 0);
}

void WindowRunTest::pauseEnablesStopAndTogglesTheFlag()
{
    RunWindow w;
    w.env.folder.writeSettings({{"Delay", "0.5"}, {"onetime", "0"}, {"GenerationType", "0"}});
    w.env.folder.write(QStringLiteral("SAMPLE.TXT"), threeTemplates);
    QVERIFY(w.start());
    clickThrough(w.window, w.play());
    QVERIFY(w.window.runActive());

    w.stop()->setEnabled(false); // whatever its state, Pause enables it
    clickThrough(w.window, w.pause());
    QVERIFY(w.stop()->isEnabled());
    QCOMPARE(w.window.flags().Paused, true);

    w.stop()->setEnabled(false);
    clickThrough(w.window, w.pause());
    QVERIFY(w.stop()->isEnabled());
    QCOMPARE(w.window.flags().Paused, false);

    QSignalSpy ended(&w.window, &KorvaneFRM::runEnded);
    clickThrough(w.window, w.pause());
    QCOMPARE(w.window.flags().Paused, true);
    clickThrough(w.window, w.stop()); // a Stop is honoured while paused
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);
    QCOMPARE(w.window.flags().Paused, false);
    QCOMPARE(w.outputLines(), 0);
}

void WindowRunTest::stopEndsTheRun()
{
    RunWindow w;
    w.env.folder.writeSettings({{"Delay", "0.05"}, {"onetime", "0"}, {"GenerationType", "0"}});
    w.env.folder.write(QStringLiteral("SAMPLE.TXT"), threeTemplates);
    QVERIFY(w.start());
    QSignalSpy ended(&w.window, &KorvaneFRM::runEnded);

    clickThrough(w.window, w.play());
    QTRY_VERIFY(w.outputLines() >= 4); // a second pass has begun: onetime 0 goes on
    clickThrough(w.window, w.stop());
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);

    QVERIFY(!w.window.runActive());
    QCOMPARE(w.window.flags().StopRequested, false);
    QCOMPARE(w.transportState(), idle);
    QCOMPARE(w.lampsShown(), 0);
    const int written = w.outputLines();
    QCOMPARE(caption(w.window, "LBL_LineCount"), QStringLiteral("Lines : %1").arg(written));

    // The Source File button works again after the run.
    QTest::mouseClick(control<QAbstractButton>(w.window, "CMD_ReadPixFile"), Qt::LeftButton);
    QCOMPARE(caption(w.window, "LBL_titre"), QStringLiteral("Source File"));
    QCOMPARE(caption(w.window, "LBL_LineCount"), QStringLiteral("Lines : 3"));

    // A new run starts its count afresh.
    clickThrough(w.window, w.play());
    QTRY_VERIFY(w.outputLines() > written);
    clickThrough(w.window, w.stop());
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 2, 5000);
    QCOMPARE(caption(w.window, "LBL_LineCount"), QStringLiteral("Lines : %1").arg(w.outputLines() - written));
}

void WindowRunTest::linesGoToTheReceiverOverUdp()
{
    QUdpSocket receiver;
    QVERIFY(bindReceiver(receiver));

    RunWindow w;
    w.env.folder.writeSettings({{"Delay", "0.02"},
                                {"onetime", "1"},
                                {"GenerationType", "0"},
                                {"SyslogFile", "1"},
                                {"HostIP", "127.0.0.1"},
                                {"UDP_Port_Syslog", QByteArray::number(receiver.localPort())}});
    w.env.folder.write(QStringLiteral("SAMPLE.TXT"), threeTemplates);
    QVERIFY(w.start());
    QCOMPARE(w.window.output().status().state, SinkStatus::State::Open);
    QSignalSpy ended(&w.window, &KorvaneFRM::runEnded);

    clickThrough(w.window, w.play());
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);

    QList<QByteArray> received;
    QTRY_VERIFY(([&] {
        while (receiver.hasPendingDatagrams())
            received.append(receiver.receiveDatagram().data());
        return received.size() >= 3;
    }()));
    QCOMPARE(received, (QList<QByteArray>{header + "%PIX-6-199001: Line one", header + "%PIX-6-199002: Line two",
                                          header + "%PIX-6-199003: Line three"}));
    QCOMPARE(w.window.outputBox()->text().toLatin1(), received.join("\r\n") + "\r\n");
    QVERIFY(!w.env.folder.exists(QStringLiteral("GENERATE.TXT")));
    QCOMPARE(w.transportState(), idle);
}

void WindowRunTest::countsPastSixteenBits()
{
    constexpr int lines = 33000; // more than a signed 16-bit counter holds
    RunWindow w;
    w.env.folder.writeSettings({{"Delay", "0.00001"}, {"onetime", "1"}, {"GenerationType", "0"}, {"RealLogFile", "1"}});
    w.env.folder.write(QStringLiteral("KORVANE.TXT"), QByteArray("%PIX-6-199001: x\r\n").repeated(lines));
    QVERIFY(w.start());
    QSignalSpy ended(&w.window, &KorvaneFRM::runEnded);

    clickThrough(w.window, w.play());
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 60000);

    QCOMPARE(caption(w.window, "LBL_titre"), QStringLiteral("Log's Generation"));
    QCOMPARE(caption(w.window, "LBL_LineCount"), QStringLiteral("Lines : %1").arg(lines));
    QCOMPARE(w.outputLines(), lines);
    QCOMPARE(w.transportState(), idle);
}

// With Manifest=1 the window writes MANIFEST.JSON once the run's lines have settled, with the
// lines of each second since Play adding up to the run's.
void WindowRunTest::manifestHoldsTheRateOfEachSecond()
{
    RunWindow w;
    w.env.folder.writeSettings(
        {{"Delay", "0.02"}, {"onetime", "1"}, {"GenerationType", "0"}, {"SyslogFile", "0"}, {"Manifest", "1"}});
    w.env.folder.write(QStringLiteral("SAMPLE.TXT"), threeTemplates.repeated(20));
    QVERIFY(w.start());
    QSignalSpy ended(&w.window, &KorvaneFRM::runEnded);

    clickThrough(w.window, w.play());
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 10000);
    QTRY_VERIFY(!w.env.folder.read(QStringLiteral("MANIFEST.JSON")).isEmpty());

    const QJsonObject manifest = QJsonDocument::fromJson(w.env.folder.read(QStringLiteral("MANIFEST.JSON"))).object();
    QCOMPARE(manifest["lines"].toObject()["emitted"].toInt(), 60);
    const QJsonArray seconds = manifest["per_second"].toArray();
    QVERIFY(seconds.size() >= 2); // 60 lines at 50 a second
    int emitted = 0;
    for (const QJsonValue& second : seconds) {
        emitted += second.toArray()[1].toInt(); // [second, emitted, sent, dropped]
    }
    QCOMPARE(emitted, 60);
}

QTEST_MAIN(WindowRunTest)
#include "tst_windowrun.moc"
