// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Runs the real harkwell executable in its standard-output mode, as a script would.

#include "udptestkit.h"

#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace harkwelltest;

namespace {

// harkwell --stdout with the given arguments, with no display at all: if the standard-output mode tried to open
// a window, the xcb platform would fail to connect and the process would abort.
struct Harkwell
{
    QProcess process;
    QByteArray out;
    QByteArray err;

    // childSetup runs in the child before harkwell starts (to give it another standard output, say).
    explicit Harkwell(const QStringList& arguments, const std::function<void()>& childSetup = {})
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
        if (childSetup) {
            process.setChildProcessModifier(childSetup);
        }
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

    // The port of the announcement "listening on 127.0.0.1:PORT...", 0 until it came.
    quint16 announcedPort() const
    {
        const QRegularExpression announcement(QStringLiteral("^harkwell: listening on 127\\.0\\.0\\.1:(\\d+)"));
        return quint16(announcement.match(QString::fromUtf8(err)).captured(1).toUInt());
    }

    // Waits for the end, then takes what is left in the pipes.
    bool finish()
    {
        const bool finished = process.waitForFinished(10000);
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        return finished;
    }
};

QString tlsFile(const char* name)
{
    return qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/tests/harkwell/tls/") + QLatin1String(name);
}

QByteArray joinedLines(const QList<QByteArray>& lines)
{
    QByteArray joined;
    for (const QByteArray& line : lines) {
        joined += line + '\n';
    }
    return joined;
}

// Whether err ends with summary, where each RATE stands for a rate such as "(2.0 lines/s)", which depends on the
// time the messages took.
bool endsWithSummary(const QByteArray& err, const QString& summary)
{
    const QString pattern =
        QRegularExpression::escape(summary).replace(QStringLiteral("RATE"), QStringLiteral("\\(\\d+\\.\\d lines/s\\)"));
    return QRegularExpression(pattern + u'$').match(QString::fromUtf8(err)).hasMatch();
}

// The width and height a PNG file's header gives, or (0, 0) when the file is no PNG.
QSize pngSize(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray head = file.read(24);
    if (head.size() < 24 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR") {
        return {0, 0};
    }
    return {qFromBigEndian<qint32>(head.constData() + 16), qFromBigEndian<qint32>(head.constData() + 20)};
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
    void verboseEndsWithEachSender();
    void tlsSenderIsServedWhilePeersSayNothing();
    void signalEndsItWhateverStandardOutputDoes_data();
    void signalEndsItWhateverStandardOutputDoes();
    void portZeroIsAnnounced();
    void plotIsWrittenAtTheEnd_data();
    void plotIsWrittenAtTheEnd();
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
    QVERIFY2(endsWithSummary(harkwell.err, "harkwell: datagrams received: 2 (20 bytes), dropped by the system: 0, "
                                           "not printed: 0\nharkwell: from 127.0.0.1 -: received 2 RATE\n"
                                           "harkwell: from 1 sender: received 2 RATE\n"),
             harkwell.err.constData());
    QCOMPARE(harkwell.process.exitCode(), 0);
}

void TestHarkwellProcess::verboseEndsWithEachSender()
{
    const quint16 port = freeUdpPort();
    Harkwell harkwell({"--stdout", "--verbose", "-b", "127.0.0.1", "-p", QString::number(port)});
    QTRY_VERIFY_WITH_TIMEOUT(harkwell.err.contains("listening on"), 10000);
    QUdpSocket sender;
    QList<QByteArray> messages;
    for (const int id : {1, 2, 4, 4, 3}) {
        messages.append(QStringLiteral("<134>1 - gate-7 korvane - - [meta sequenceId=\"%1\"] text").arg(id).toUtf8());
    }

    QVERIFY(sendAll(sender, port, messages + QList<QByteArray>{"<13>without a sequence id"}));
    QTRY_COMPARE_WITH_TIMEOUT(harkwell.lineCount(), 6, 10000);
    harkwell.process.terminate();
    QVERIFY(harkwell.finish());

    QVERIFY2(
        endsWithSummary(harkwell.err,
                        ", not printed: 0\nharkwell: from 127.0.0.1 -: received 1 RATE\n"
                        "harkwell: from 127.0.0.1 gate-7: received 5 RATE, missing 0, duplicated 1, out of order 1\n"
                        "harkwell: from 2 senders: received 6 RATE, missing 0, duplicated 1, out of order 1\n"),
        harkwell.err.constData());
    QCOMPARE(harkwell.process.exitCode(), 0);
}

void TestHarkwellProcess::tlsSenderIsServedWhilePeersSayNothing()
{
    Harkwell harkwell({"--stdout", "--verbose", "--bind", "127.0.0.1", "--port", "0", "--tls-cert",
                       tlsFile("harkwell-test.crt"), "--tls-key", tlsFile("harkwell-test.key")});
    QTRY_VERIFY_WITH_TIMEOUT(harkwell.announcedPort() != 0, 10000);

    // More silent peers than a server takes pending connections by default, each one allowed 10 s for its
    // handshake.
    std::vector<std::unique_ptr<QTcpSocket>> silent;
    for (int i = 0; i < 40; ++i) {
        silent.push_back(std::make_unique<QTcpSocket>());
        silent.back()->connectToHost(QHostAddress::LocalHost, harkwell.announcedPort());
        QVERIFY(silent.back()->waitForConnected(5000));
    }
    QSslSocket sender;
    QSslConfiguration trust = sender.sslConfiguration();
    trust.setCaCertificates(QSslCertificate::fromPath(tlsFile("harkwell-test.crt")));
    sender.setSslConfiguration(trust);
    sender.connectToHostEncrypted(QStringLiteral("127.0.0.1"), harkwell.announcedPort(), QStringLiteral("localhost"));
    // Served well before any of those handshakes times out.
    QVERIFY2(sender.waitForEncrypted(5000), qPrintable(sender.errorString()));
    sender.write("18 <13>served at once");
    sender.write("40 <13>cut short"); // and closed before the rest of its frame
    sender.disconnectFromHost();

    QTRY_COMPARE_WITH_TIMEOUT(harkwell.lineCount(), 2, 5000);
    QVERIFY2(harkwell.out.contains("  <13>served at once\n") && harkwell.out.endsWith("  <13>cut short\t[cut]\n"),
             harkwell.out.constData());
    harkwell.process.terminate();
    QVERIFY(harkwell.finish());
    QCOMPARE(harkwell.process.exitCode(), 0);
    // Nothing to report: the silent ones are still within their time.
    QVERIFY2(endsWithSummary(harkwell.err, "\nharkwell: messages received: 2 (31 bytes), cut short: 1, dropped by the "
                                           "system: 0, not printed: 0\nharkwell: from 127.0.0.1 -: received 2 RATE\n"
                                           "harkwell: from 1 sender: received 2 RATE\n") &&
                 harkwell.err.count('\n') == 4,
             harkwell.err.constData());
}

void TestHarkwellProcess::signalEndsItWhateverStandardOutputDoes_data()
{
    QTest::addColumn<int>("signalNumber");

    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestHarkwellProcess::signalEndsItWhateverStandardOutputDoes()
{
    QFETCH(int, signalNumber);

    // Standard output is a pipe that is full and that nobody reads, as when the reader of "harkwell --stdout | ..."
    // has stopped reading. It is filled through a description of its own, so that harkwell's stays as a shell
    // leaves it (blocking).
    int ends[2] = {-1, -1};
    QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
    const int filler = ::open(qPrintable(QStringLiteral("/proc/self/fd/%1").arg(ends[1])), O_WRONLY | O_NONBLOCK);
    const auto closeAll = qScopeGuard([&ends, filler] {
        ::close(ends[0]);
        ::close(ends[1]);
        ::close(filler);
    });
    QVERIFY(filler >= 0);
    const char junk[4096] = {};
    for (qsizetype chunk = sizeof junk; chunk > 0; chunk /= 2) {
        while (::write(filler, junk, size_t(chunk)) > 0) {
        }
    }
    QCOMPARE(errno, EAGAIN);
    const int writeEnd = ends[1];
    const quint16 port = freeUdpPort();
    Harkwell harkwell({"--stdout", "--bind", "127.0.0.1", "--port", QString::number(port)},
                      [writeEnd] { ::dup2(writeEnd, STDOUT_FILENO); });
    QTRY_VERIFY_WITH_TIMEOUT(harkwell.err.contains("listening on"), 10000);

    QUdpSocket sender;
    QVERIFY(sendAll(sender, port, numberedLines(0, 200)));
    QCOMPARE(::kill(harkwell.process.processId(), signalNumber), 0);

    QVERIFY2(harkwell.process.waitForFinished(5000), "harkwell is still running");
    harkwell.err += harkwell.process.readAllStandardError();
    QCOMPARE(harkwell.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(harkwell.process.exitCode(), 3);
    QVERIFY2(
        harkwell.err.endsWith("\nharkwell: 200 datagrams not printed: standard output did not take them in time\n"),
        harkwell.err.constData());
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

void TestHarkwellProcess::plotIsWrittenAtTheEnd_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QSize>("size");

    QTest::newRow("an 800 x 300 PNG") << "rate.png" << 0 << QSize(800, 300);
    QTest::newRow("a directory that does not exist") << "missing/rate.png" << 3 << QSize();
}

void TestHarkwellProcess::plotIsWrittenAtTheEnd()
{
    QFETCH(QString, file);
    QFETCH(int, exitCode);
    QFETCH(QSize, size);

    const QTemporaryDir directory;
    const QString path = directory.filePath(file);
    Harkwell harkwell({"--stdout", "--bind", "127.0.0.1", "--port", "0", "--plot", path});
    QTRY_VERIFY_WITH_TIMEOUT(harkwell.announcedPort() != 0, 10000);
    QUdpSocket sender;
    QVERIFY(sendAll(sender, harkwell.announcedPort(), numberedLines(0, 5)));
    QTRY_COMPARE_WITH_TIMEOUT(harkwell.lineCount(), 5, 10000);
    harkwell.process.terminate();
    QVERIFY(harkwell.finish());

    QCOMPARE(harkwell.process.exitCode(), exitCode);
    QCOMPARE(pngSize(path), size);
    QCOMPARE(harkwell.err.contains("harkwell: cannot write the plot to " + path.toUtf8() + ": "), exitCode != 0);
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
                               "--stdout", "--verbose", "--plot <file>"}) {
        QVERIFY2(harkwell.out.contains(option), option);
    }
}

QTEST_GUILESS_MAIN(TestHarkwellProcess)
#include "tst_harkwellprocess.moc"
