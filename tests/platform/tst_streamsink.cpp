// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/streamsink.h"
#include "sinkoutcome.h"
#include "testpki.h"

#include <QDeadlineTimer>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <limits>
#include <memory>

#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace korvane;

namespace {

// A receiver that keeps every byte of every connection, and can drop them all as a receiver
// that goes away would.
class Receiver
{
public:
    explicit Receiver(QTcpServer& server) : m_server(server)
    {
        QObject::connect(&m_server, &QTcpServer::pendingConnectionAvailable, [this] { take(); });
    }

    void take()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            ++connections;
            QObject::connect(socket, &QIODevice::readyRead, [this, socket] { received += socket->readAll(); });
            m_sockets.push_back(socket);
        }
    }

    void dropConnections()
    {
        for (QTcpSocket* socket : m_sockets) {
            socket->abort();
        }
        m_sockets.clear();
    }

    QByteArray received;
    int connections = 0;

private:
    QTcpServer& m_server;
    std::vector<QTcpSocket*> m_sockets;
};

// A receiver on plain sockets, so that the test decides when bytes are read: with a small
// receive buffer, a receiver that stops reading leaves the sender's bytes unacknowledged.
class RawReceiver
{
public:
    RawReceiver()
    {
        m_listening = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int small = 4096;
        ::setsockopt(m_listening, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listening, reinterpret_cast<sockaddr*>(&address), length) == 0 && ::listen(m_listening, 4) == 0 &&
            ::getsockname(m_listening, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
        }
    }
    ~RawReceiver()
    {
        for (const int fd : connections) {
            ::close(fd);
        }
        ::close(m_listening);
    }

    // Takes the connections that came; true once there have been `count`.
    bool cameIn(std::size_t count)
    {
        for (int fd; (fd = ::accept4(m_listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
            connections.push_back(fd);
            received.emplace_back();
        }
        return connections.size() >= count;
    }

    // Reads from connection `i` until it holds `total` bytes or `ends` ends it; false on a
    // deadline, with the event loop turning meanwhile (the sender lives on it).
    bool readUntil(std::size_t i, qsizetype total, const QByteArray& ends = {})
    {
        QDeadlineTimer deadline(20000);
        char buffer[65536];
        while (received[i].size() < total && (ends.isEmpty() || !received[i].endsWith(ends))) {
            const qsizetype wanted = std::min<qsizetype>(sizeof buffer, total - received[i].size());
            const ssize_t n = ::recv(connections[i], buffer, std::size_t(wanted), MSG_DONTWAIT);
            if (n > 0) {
                received[i].append(buffer, n);
                continue;
            }
            if (deadline.hasExpired()) {
                return false;
            }
            QCoreApplication::processEvents();
            pollfd readable{connections[i], POLLIN, 0};
            ::poll(&readable, 1, 5);
        }
        return true;
    }

    // True once connection `i` holds unread bytes and no more came since the last call: its
    // window is shut, the rest waits unacknowledged at the sender.
    bool stalled(std::size_t i)
    {
        int unread = 0;
        ::ioctl(connections[i], FIONREAD, &unread);
        const bool still = unread > 0 && unread == m_lastUnread;
        m_lastUnread = unread;
        return still;
    }

    // Ends connection `i`; what its system had taken but it had not read counts as received.
    void end(std::size_t i, bool reset)
    {
        std::vector<char> held(4 * 1024 * 1024);
        const ssize_t n = ::recv(connections[i], held.data(), held.size(), MSG_PEEK | MSG_DONTWAIT);
        if (n > 0) {
            received[i].append(held.data(), n);
        }
        if (reset) {
            const linger abortive{1, 0};
            ::setsockopt(connections[i], SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        }
        ::close(connections[i]);
        connections[i] = -1;
    }

    quint16 port = 0;
    std::vector<int> connections;
    std::vector<QByteArray> received;

private:
    int m_listening = -1;
    int m_lastUnread = -1;
};

// The numbers of the whole lines "line N ..." in `bytes`, in the order they came.
QList<int> lineNumbers(const QByteArray& bytes)
{
    QList<int> numbers;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) { // the last piece is cut, or empty
        numbers << lines[i].split(' ').value(1).toInt();
    }
    return numbers;
}

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

class TestStreamSink : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
    void receiverDownThenBackGetsEveryLineInOrder();
    void manyLinesArriveWholeAndInOrder();
    void fullQueueDropsNewLines();
    void brokenConnectionSendsAgainWhatWasNotAcknowledged_data();
    void brokenConnectionSendsAgainWhatWasNotAcknowledged();
    void givingUpCountsQueuedLinesUndelivered();
    void tls_data();
    void tls();
    void handshakeNotFinishedInTimeIsTriedAgain();
    void clientKeyPair_data();
    void clientKeyPair();
};

void TestStreamSink::framing_data()
{
    QTest::addColumn<bool>("octets");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("line feed") << false << QByteArray("<166>a b") << QByteArray("<166>a b\n");
    QTest::newRow("octets: 9 bytes") << true << QByteArray("123456789") << QByteArray("9 123456789");
    QTest::newRow("octets: 10 bytes, two digits") << true << QByteArray("1234567890") << QByteArray("10 1234567890");
    QTest::newRow("octets: empty line") << true << QByteArray() << QByteArray("0 ");
}

void TestStreamSink::framing()
{
    QFETCH(bool, octets);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    std::string out = "x";
    appendFramed(out, octets ? StreamFraming::OctetCounting : StreamFraming::LineFeed,
                 {line.constData(), std::size_t(line.size())});
    QCOMPARE(QByteArray::fromStdString(out), "x" + expected);
}

void TestStreamSink::receiverDownThenBackGetsEveryLineInOrder()
{
    const quint16 port = freePort();
    QVERIFY(port != 0);
    StreamSink sink;
    QVERIFY(sink.start(QStringLiteral("127.0.0.1"), port, StreamFraming::LineFeed, std::nullopt).ok());
    for (const char* line : {"one", "two", "three"}) {
        QCOMPARE(test::outcomeOf(sink.write(line)), "sent");
    }
    QTRY_VERIFY(sink.stateText().contains(QStringLiteral("trying again")));
    QCOMPARE(sink.lastProblem(), QStringLiteral("Connection refused")); // no promise in it

    QTcpServer server;
    Receiver receiver(server);
    QVERIFY(server.listen(QHostAddress::LocalHost, port));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.received, QByteArray("one\ntwo\nthree\n"), 10000);
    QVERIFY(sink.isConnected());

    // The receiver goes away and comes back: the sink connects again by itself.
    receiver.dropConnections();
    QTRY_VERIFY(!sink.isConnected());
    QCOMPARE(test::outcomeOf(sink.write("four")), "sent");
    QTRY_COMPARE_WITH_TIMEOUT(receiver.received, QByteArray("one\ntwo\nthree\nfour\n"), 10000);
    QCOMPARE(receiver.connections, 2);
    QTRY_VERIFY(sink.isDrained());
    QCOMPARE(sink.counts().delivered, std::int64_t(4));
}

void TestStreamSink::manyLinesArriveWholeAndInOrder()
{
    QTcpServer server;
    Receiver receiver(server);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    StreamSink sink;
    QVERIFY(
        sink.start(QStringLiteral("127.0.0.1"), server.serverPort(), StreamFraming::OctetCounting, std::nullopt).ok());
    QTRY_VERIFY(sink.isConnected());
    // Far more than the socket is given at once, in batches as a fast run writes them.
    std::string expected;
    for (int batch = 0; batch < 20; ++batch) {
        for (int i = 0; i < 5000; ++i) {
            const std::string line = "<166>line " + std::to_string(batch * 5000 + i) + std::string(80, 'x');
            appendFramed(expected, StreamFraming::OctetCounting, line);
            QCOMPARE(test::outcomeOf(sink.write(line)), "sent");
        }
        QCoreApplication::processEvents();
    }
    QTRY_COMPARE_WITH_TIMEOUT(receiver.received.size(), qsizetype(expected.size()), 10000);
    QVERIFY(receiver.received == QByteArray::fromStdString(expected));
    QTRY_COMPARE(sink.counts().delivered, std::int64_t(100000)); // as the receiver acknowledged them
    QVERIFY(sink.isDrained());
}

void TestStreamSink::fullQueueDropsNewLines()
{
    StreamSink sink;
    sink.setQueueLimit(12); // "123456789\n" fits once
    QVERIFY(sink.start(QStringLiteral("127.0.0.1"), freePort(), StreamFraming::LineFeed, std::nullopt).ok());
    QCOMPARE(test::outcomeOf(sink.write("123456789")), "sent");
    QCOMPARE(test::outcomeOf(sink.write("12")), "dropped");
    QCOMPARE(test::outcomeOf(sink.write("1")), "sent"); // what still fits is kept
    QCOMPARE(sink.queuedMessages(), std::size_t(2));
    QCOMPARE(sink.counts().dropped, std::int64_t(1));
    // Korvane's own queue, not the system, is what is full.
    QVERIFY2(sink.dropReason().startsWith(QStringLiteral("Korvane's own queue of 12 bytes for the receiver is full")),
             qPrintable(sink.dropReason()));
    QVERIFY2(sink.stateText().contains(sink.dropReason()), qPrintable(sink.stateText()));
}

void TestStreamSink::brokenConnectionSendsAgainWhatWasNotAcknowledged_data()
{
    QTest::addColumn<int>("readFirst"); // bytes the first connection reads before it stops reading
    QTest::addColumn<bool>("reset");    // it ends abortively (SO_LINGER 0), else with a plain close
    QTest::newRow("reset with lines in flight") << 0 << true;
    QTest::newRow("closed after 50,000 bytes") << 50000 << false;
}

void TestStreamSink::brokenConnectionSendsAgainWhatWasNotAcknowledged()
{
    QFETCH(int, readFirst);
    QFETCH(bool, reset);

    RawReceiver receiver;
    QVERIFY(receiver.port != 0);
    StreamSink sink;
    QVERIFY(sink.start(QStringLiteral("127.0.0.1"), receiver.port, StreamFraming::LineFeed, std::nullopt).ok());
    QTRY_VERIFY(receiver.cameIn(1));
    QTRY_VERIFY(sink.isConnected());
    constexpr int kLines = 20000;
    for (int i = 0; i < kLines; ++i) {
        const std::string line = "line " + std::to_string(i) + " " + std::string(40, 'x');
        QCOMPARE(test::outcomeOf(sink.write(line)), "sent");
    }
    QVERIFY(receiver.readUntil(0, readFirst));
    QTRY_VERIFY(receiver.stalled(0));
    receiver.end(0, reset);

    QTRY_VERIFY(receiver.cameIn(2));
    const QByteArray last = "line " + QByteArray::number(kLines - 1) + " " + QByteArray(40, 'x') + "\n";
    QVERIFY(receiver.readUntil(1, std::numeric_limits<qsizetype>::max(), last));
    QTRY_VERIFY(sink.isDrained());

    // Each connection in order; the second begins no later than the first's last whole line.
    const QList<int> first = lineNumbers(receiver.received[0]);
    const QList<int> second = lineNumbers(receiver.received[1]);
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    for (qsizetype i = 0; i < first.size(); ++i) {
        QCOMPARE(first[i], int(i));
    }
    QVERIFY2(second.front() <= first.size(),
             qPrintable(QStringLiteral("%1 lines came, then line %2").arg(first.size()).arg(second.front())));
    for (qsizetype i = 0; i < second.size(); ++i) {
        QCOMPARE(second[i], second.front() + int(i));
    }
    QCOMPARE(second.back(), kLines - 1);

    const DeliveryCounts counts = sink.counts();
    QCOMPARE(counts.delivered, std::int64_t(kLines));
    QCOMPARE(counts.dropped + counts.undelivered, std::int64_t(0));
    QVERIFY(counts.resent > 0);
    QVERIFY(counts.resent >= first.size() - second.front()); // at least those the receiver saw twice
    QVERIFY(counts.resent <= kLines - second.front());
}

void TestStreamSink::givingUpCountsQueuedLinesUndelivered()
{
    StreamSink sink;
    QVERIFY(sink.start(QStringLiteral("127.0.0.1"), freePort(), StreamFraming::LineFeed, std::nullopt).ok());
    for (const char* line : {"one", "two", "three"}) {
        QCOMPARE(test::outcomeOf(sink.write(line)), "sent");
    }
    QTRY_VERIFY(!sink.lastProblem().isEmpty());
    sink.finish();
    QCOMPARE(sink.counts().undelivered, std::int64_t(3));
    QCOMPARE(sink.counts().delivered, std::int64_t(0));
    QCOMPARE(sink.lastProblem(), QStringLiteral("Connection refused"));
    QCOMPARE(sink.stateText(), QStringLiteral("closed"));
}

void TestStreamSink::tls_data()
{
    QTest::addColumn<bool>("trustedCa");
    QTest::addColumn<QString>("peerName");
    QTest::addColumn<QString>("failure"); // part of the reason; "" when the line must arrive
    QTest::newRow("trusted, right name") << true << "127.0.0.1"
                                         << "";
    QTest::newRow("a CA that does not vouch for the server") << false << "127.0.0.1"
                                                             << "TLS 127.0.0.1:";
    QTest::newRow("a name the certificate does not carry") << true << "logs.example"
                                                           << "host name did not match";
}

void TestStreamSink::tls()
{
    QFETCH(bool, trustedCa);
    QFETCH(QString, peerName);
    QFETCH(QString, failure);

    QTemporaryDir dir;
    const test::TestPki pki(dir.path());
    QVERIFY2(pki.ok(), qPrintable(pki.error()));
    QSslConfiguration serverTls = QSslConfiguration::defaultConfiguration();
    QFile certFile(pki.serverCertFile());
    QFile keyFile(pki.serverKeyFile());
    QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
    serverTls.setLocalCertificate(QSslCertificate(&certFile, QSsl::Pem));
    serverTls.setPrivateKey(QSslKey(&keyFile, QSsl::Rsa, QSsl::Pem));
    QSslServer server;
    server.setSslConfiguration(serverTls);
    Receiver receiver(server);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    StreamSink sink;
    const TlsSettings tls{trustedCa ? pki.caFile() : pki.otherCaFile(), {}, {}, peerName};
    QVERIFY(sink.start(QStringLiteral("127.0.0.1"), server.serverPort(), StreamFraming::OctetCounting, tls).ok());
    QCOMPARE(test::outcomeOf(sink.write("<166>hello")), "sent");
    if (failure.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(receiver.received, QByteArray("10 <166>hello"), 10000);
        QTRY_COMPARE(sink.counts().delivered, std::int64_t(1));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!sink.failure().empty(), 10000);
    const SinkResult result = sink.write("again");
    QVERIFY2(QString::fromStdString(result.reason()).contains(failure), result.reason().c_str());
    QVERIFY(receiver.received.isEmpty());
    QVERIFY(!result);
    QCOMPARE(sink.counts().undelivered, std::int64_t(1)); // "<166>hello"; "again" was refused
    // The address once, in front.
    QCOMPARE(QString::fromStdString(result.reason()).count(QStringLiteral("127.0.0.1")), 1);
}

void TestStreamSink::handshakeNotFinishedInTimeIsTriedAgain()
{
    // A receiver that takes the connection and never says a word.
    QTcpServer server;
    Receiver receiver(server);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    StreamSink sink;
    sink.setHandshakeTimeout(std::chrono::milliseconds(200));
    QVERIFY(sink.start(QStringLiteral("127.0.0.1"), server.serverPort(), StreamFraming::OctetCounting,
                       TlsSettings{{}, {}, {}, QStringLiteral("127.0.0.1")})
                .ok());
    QCOMPARE(test::outcomeOf(sink.write("<166>waits")), "sent");
    QTRY_COMPARE(receiver.connections, 2);
    QCOMPARE(sink.lastProblem(), QStringLiteral("the TLS handshake did not finish within 0.2 s"));
    QVERIFY(sink.failure().empty());
    QCOMPARE(sink.queuedMessages(), std::size_t(1));
}

void TestStreamSink::clientKeyPair_data()
{
    QTest::addColumn<bool>("matching");
    QTest::newRow("a certificate with its own key") << true;
    QTest::newRow("a certificate with another's key") << false;
}

void TestStreamSink::clientKeyPair()
{
    QFETCH(bool, matching);
    QTemporaryDir dir;
    const test::TestPki pki(dir.path());
    QVERIFY2(pki.ok(), qPrintable(pki.error()));
    const QString certFile = matching ? pki.serverCertFile() : pki.otherCaFile();
    const TlsSettings tls{pki.caFile(), certFile, pki.serverKeyFile(), QStringLiteral("127.0.0.1")};

    StreamSink sink;
    const Result<> started = sink.start(QStringLiteral("127.0.0.1"), freePort(), StreamFraming::OctetCounting, tls);
    if (matching) {
        QVERIFY2(started, started.reason().c_str());
        return;
    }
    // A local mistake, said at once and never tried again.
    QVERIFY(!started);
    const QString reason = QString::fromStdString(started.reason());
    QVERIFY2(reason.startsWith(QStringLiteral("TLS 127.0.0.1:")), qPrintable(reason));
    for (const QString& named : {certFile + " (TLS_CertFile)", pki.serverKeyFile() + " (TLS_KeyFile)"}) {
        QVERIFY2(reason.contains(named), qPrintable(reason));
    }
    QCOMPARE(sink.write("<166>never").reason(), started.reason());
}

QTEST_GUILESS_MAIN(TestStreamSink)
#include "tst_streamsink.moc"
