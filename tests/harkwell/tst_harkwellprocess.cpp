// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Runs the real harkwell executable in its standard-output mode, as a script would.

#include "udptestkit.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <csignal>

using namespace harkwelltest;

namespace {

// harkwell --stdout with the given arguments, with no display at all: if the standard-output mode tried to open
// a window, the xcb platform would fail to connect and the process would abort.
struct Harkwell
{
    QProcess process;
    QByteArray out;
    QByteArray err;

    explicit Harkwell(const QStringList& arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        process.setProcessEnvironment(environment);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                         [this] { out += process.readAllStandardOutput(); });
        QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                         [this] { err += process.readAllStandardError(); });
        process.start(qEnvironmentVariable("KORVANE_BIN_DIR") + QStringLiteral("/harkwell"), arguments);
    }

    ~Harkwell()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    int lineCount() const { return int(out.count('\n')); }

    // Waits for the end, then takes what is left in the pipes.
    bool finish()
    {
        const bool finished = process.waitForFinished(10000);
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        return finished;
    }
};

QByteArray joinedLines(const QList<QByteArray>& lines)
{
    QByteArray joined;
    for (const QByteArray& line : lines) {
        joined += line + '\n';
    }
    return joined;
}

} // namespace

class TestHarkwellProcess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printsEveryDatagramInOrderUntilSignalled_data();
    void printsEveryDatagramInOrderUntilSignalled();
    void verbosePrefixesTimeAndSender();
    void portZeroIsAnnounced();
    void bindFailureExitsWithCodeTwo_data();
    void bindFailureExitsWithCodeTwo();
    void invalidCommandLineExitsWithCodeOne_data();
    void invalidCommandLineExitsWithCodeOne();
    void helpNeedsNoDisplay();
};

void TestHarkwellProcess::initTestCase()
{
    QVERIFY2(QFile::exists(qEnvironmentVariable("KORVANE_BIN_DIR") + QStringLiteral("/harkwell")),
             "KORVANE_BIN_DIR must hold the harkwell executable");
}

void TestHarkwellProcess::printsEveryDatagramInOrderUntilSignalled_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("count");

    QTest::newRow("a thousand datagrams, ended by SIGTERM") << int(SIGTERM) << 1000;
    QTest::newRow("a hundred datagrams, ended by SIGINT") << int(SIGINT) << 100;
}

void TestHarkwellProcess::printsEveryDatagramInOrderUntilSignalled()
{
    QFETCH(int, signalNumber);
    QFETCH(int, count);

    const quint16 port = freeUdpPort();
    Harkwell harkwell({"--stdout", "--bind", "127.0.0.1", "--port", QString::number(port)});
    QTRY_COMPARE_WITH_TIMEOUT(harkwell.err, QStringLiteral("harkwell: listening on 127.0.0.1:%1\n").arg(port).toUtf8(),
                              10000);

    // Steps of a hundred, each printed before the next is sent, so that the pipe is shown to carry lines as
    // they come and no step can overflow the socket's buffer.
    QUdpSocket sender;
    const int step = 100;
    for (int first = 0; first < count - step; first += step) {
        QVERIFY(sendAll(sender, port, numberedLines(first, step)));
        QTRY_COMPARE_WITH_TIMEOUT(harkwell.lineCount(), first + step, 10000);
    }
    // The last step is not awaited: what is already in the socket when the signal comes must still be printed.
    QVERIFY(sendAll(sender, port, numberedLines(count - step, step)));
    QCOMPARE(::kill(harkwell.process.processId(), signalNumber), 0);

    QVERIFY(harkwell.finish());
    QCOMPARE(harkwell.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(harkwell.process.exitCode(), 0);
    QCOMPARE(harkwell.out, joinedLines(numberedLines(0, count)));
}

void TestHarkwellProcess::verbosePrefixesTimeAndSender()
{
    const quint16 port = freeUdpPort();
    Harkwell harkwell({"--stdout", "--verbose", "-b", "127.0.0.1", "-p", QString::number(port)});
    QTRY_VERIFY_WITH_TIMEOUT(harkwell.err.contains("listening on"), 10000);
    QUdpSocket sender;
    QVERIFY(sender.bind(QHostAddress::LocalHost, 0));

    QVERIFY(sendAll(sender, port, {"<13>first", "<13>second\n"}));
    QTRY_COMPARE_WITH_TIMEOUT(harkwell.lineCount(), 2, 10000);
    harkwell.process.terminate();
    QVERIFY(harkwell.finish());

    const QString from = QStringLiteral("127\\.0\\.0\\.1:%1").arg(sender.localPort());
    const QRegularExpression expected(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}  %1   1  5  -  <13>first\n"
                                                     "\\d\\d:\\d\\d:\\d\\d\\.\\d{3}  %1   1  5  -  <13>second\n$")
                                          .arg(from));
    QVERIFY2(expected.match(QString::fromUtf8(harkwell.out)).hasMatch(), harkwell.out.constData());
    QVERIFY2(
        harkwell.err.endsWith("harkwell: datagrams received: 2 (20 bytes), dropped by the system: 0, not printed: 0\n"),
        harkwell.err.constData());
    QCOMPARE(harkwell.process.exitCode(), 0);
}

void TestHarkwellProcess::portZeroIsAnnounced()
{
    Harkwell harkwell({"--stdout", "--bind", "127.0.0.1", "--port", "0"});
    const QRegularExpression announcement(QStringLiteral("^harkwell: listening on 127\\.0\\.0\\.1:(\\d+)\n$"));
    QTRY_VERIFY_WITH_TIMEOUT(announcement.match(QString::fromUtf8(harkwell.err)).hasMatch(), 10000);
    const auto port = quint16(announcement.match(QString::fromUtf8(harkwell.err)).captured(1).toUInt());
    QVERIFY(port != 0);

    QUdpSocket sender;
    QVERIFY(sendAll(sender, port, {"reached the announced port"}));
    QTRY_COMPARE_WITH_TIMEOUT(harkwell.out, QByteArray("reached the announced port\n"), 10000);
    harkwell.process.terminate();
    QVERIFY(harkwell.finish());
    QCOMPARE(harkwell.process.exitCode(), 0);
}

void TestHarkwellProcess::bindFailureExitsWithCodeTwo_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("holdPort");
    QTest::addColumn<QString>("reason");

    QTest::newRow("port in use") << "127.0.0.1" << true << "The bound address is already in use";
    QTest::newRow("address of no interface") << "192.0.2.1" << false << "The address is not available";
}

void TestHarkwellProcess::bindFailureExitsWithCodeTwo()
{
    QFETCH(QString, address);
    QFETCH(bool, holdPort);
    QFETCH(QString, reason);

    QUdpSocket holder;
    quint16 port = freeUdpPort();
    if (holdPort) {
        QVERIFY(holder.bind(QHostAddress(address), 0));
        port = holder.localPort();
    }

    Harkwell harkwell({"--stdout", "--bind", address, "--port", QString::number(port)});
    QVERIFY(harkwell.finish());

    QCOMPARE(harkwell.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(harkwell.process.exitCode(), 2);
    QCOMPARE(harkwell.err,
             QStringLiteral("harkwell: cannot listen on %1:%2: %3\n").arg(address).arg(port).arg(reason).toUtf8());
    QCOMPARE(harkwell.out, QByteArray());
}

void TestHarkwellProcess::invalidCommandLineExitsWithCodeOne_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("port out of range") << QStringList{"--stdout", "--port", "70000"} << "Invalid port: 70000";
    QTest::newRow("unknown option") << QStringList{"--stdout", "--frobnicate"} << "frobnicate";
    QTest::newRow("bind address that is a name")
        << QStringList{"--stdout", "--bind", "localhost"} << "Invalid bind address: localhost";
    QTest::newRow("TLS certificate that cannot be read")
        << QStringList{"--stdout", "--tls-cert", "/nonexistent/cert.pem", "--tls-key", "/nonexistent/key.pem"}
        << "cannot read the TLS certificate /nonexistent/cert.pem: No such file or directory";
}

void TestHarkwellProcess::invalidCommandLineExitsWithCodeOne()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, errorPart);

    Harkwell harkwell(arguments);
    QVERIFY(harkwell.finish());

    QCOMPARE(harkwell.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(harkwell.process.exitCode(), 1);
    QVERIFY2(harkwell.err.contains(errorPart.toUtf8()), harkwell.err.constData());
    QVERIFY(harkwell.err.contains("harkwell --help"));
    QCOMPARE(harkwell.out, QByteArray());
}

void TestHarkwellProcess::helpNeedsNoDisplay()
{
    Harkwell harkwell({"--help"});
    QVERIFY(harkwell.finish());

    QCOMPARE(harkwell.process.exitCode(), 0);
    for (const char* option : {"--port <port>", "--bind <address>", "--tcp", "--tls-cert <file>", "--tls-key <file>",
                               "--stdout", "--verbose"}) {
        QVERIFY2(harkwell.out.contains(option), option);
    }
}

QTEST_GUILESS_MAIN(TestHarkwellProcess)
#include "tst_harkwellprocess.moc"
