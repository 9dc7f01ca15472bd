// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/streamsink.h"
#include "sinkoutcome.h"
#include "testpki.h"

#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

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
    void tls_data();
    void tls();
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
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!sink.write("again"), 10000);
    const SinkResult result = sink.write("again");
    QVERIFY2(QString::fromStdString(result.reason()).contains(failure), result.reason().c_str());
    QVERIFY(receiver.received.isEmpty());
}

QTEST_GUILESS_MAIN(TestStreamSink)
#include "tst_streamsink.moc"
