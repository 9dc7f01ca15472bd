// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/streamlistener.h"
#include "harkwell/tlsidentity.h"

#include <QSslKey>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

using namespace korvane::harkwell;

namespace {

// The throwaway certificate and key committed for these tests (self-signed, valid for a hundred years).
QString tlsFile(const char* name)
{
    return qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/tests/harkwell/tls/") + QLatin1String(name);
}

// Every message the listener hands on, and every problem it reports.
struct Received
{
    QList<Datagram> messages;
    QStringList problems;

    explicit Received(Listener& listener)
    {
        QObject::connect(&listener, &Listener::datagramsReceived, &listener,
                         [this](const QList<Datagram>& batch) { messages += batch; });
        QObject::connect(&listener, &Listener::peerProblem, &listener,
                         [this](const QString& text) { problems.append(text); });
    }

    // The payloads that came from the client at localPort, in order.
    QList<QByteArray> from(quint16 localPort) const
    {
        QList<QByteArray> payloads;
        for (const Datagram& message : messages) {
            if (message.senderPort == localPort) {
                payloads.append(message.payload);
            }
        }
        return payloads;
    }
};

QByteArray counted(const QByteArray& message)
{
    return QByteArray::number(message.size()) + ' ' + message;
}

TlsIdentity testIdentity()
{
    return loadTlsIdentity(tlsFile("harkwell-test.crt"), tlsFile("harkwell-test.key"));
}

// A client that trusts exactly the test certificate, so that the handshake is checked as a sender would check it;
// its side of the handshake, like the listener's, runs in this thread's event loop.
std::unique_ptr<QSslSocket> tlsClient(quint16 port)
{
    auto client = std::make_unique<QSslSocket>();
    QSslConfiguration trust = client->sslConfiguration();
    trust.setCaCertificates(testIdentity().configuration.localCertificateChain());
    client->setSslConfiguration(trust);
    client->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port, QStringLiteral("localhost"));
    return client;
}

} // namespace

class TestStreamListener : public QObject
{
    Q_OBJECT

private slots:
    void connectionsAreFramedApart();
    void receivesOverTls();
    void peersInTheirHandshakeKeepNoOneOut();
    void connectionEndsAreHandedOnAndReported_data();
    void connectionEndsAreHandedOnAndReported();
    void tlsIdentityNamesWhatIsWrong_data();
    void tlsIdentityNamesWhatIsWrong();
};

void TestStreamListener::connectionsAreFramedApart()
{
    StreamListener listener;
    QVERIFY2(listener.listen(QHostAddress::LocalHost, 0), qPrintable(listener.errorString()));
    Received received(listener);

    QTcpSocket octets;
    QTcpSocket lines;
    QTcpSocket garbage;
    for (QTcpSocket* client : {&octets, &lines, &garbage}) {
        client->connectToHost(QHostAddress::LocalHost, listener.port());
        QVERIFY(client->waitForConnected(5000));
    }
    // Kept now: a socket forgets its port once it is closed.
    const quint16 octetsPort = octets.localPort();
    const quint16 linesPort = lines.localPort();
    const quint16 garbagePort = garbage.localPort();
    QTRY_COMPARE(listener.connectionCount(), 3);

    const QByteArray frames = counted("<13>1 - gate app - - - one") + counted("<14>two\nlines");
    octets.write(frames.left(10));
    lines.write("<166>Dec  7 15:07:59 demo-gate up\r\n<13>sec");
    garbage.write(counted("<13>fine") + "no length here");
    QTRY_COMPARE(garbage.state(), QAbstractSocket::UnconnectedState);
    octets.write(frames.mid(10));
    lines.write("ond\n<13>last, closed without LF");
    lines.disconnectFromHost();

    QTRY_COMPARE(received.messages.size(), 6);
    QCOMPARE(received.from(octetsPort), (QList<QByteArray>{"<13>1 - gate app - - - one", "<14>two\nlines"}));
    QCOMPARE(received.from(linesPort),
             (QList<QByteArray>{"<166>Dec  7 15:07:59 demo-gate up", "<13>second", "<13>last, closed without LF"}));
    QCOMPARE(received.from(garbagePort), QList<QByteArray>{"<13>fine"});
    QCOMPARE(received.problems.size(), 1);
    QVERIFY2(received.problems.at(0).startsWith(
                 QStringLiteral("closed the connection from 127.0.0.1:%1: framing lost").arg(garbagePort)),
             qPrintable(received.problems.at(0)));
    QCOMPARE(received.messages.at(0).sender, QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(listener.datagramCount(), quint64(6));
    QCOMPARE(listener.byteCount(), quint64(26 + 13 + 33 + 10 + 27 + 8));
    QCOMPARE(listener.droppedCount(), quint64(0));
    QTRY_COMPARE(listener.connectionCount(), 1); // the octet-counting one, still open
}

void TestStreamListener::receivesOverTls()
{
    const TlsIdentity identity = testIdentity();
    QVERIFY2(identity.isValid(), qPrintable(identity.error));
    StreamListener listener;
    listener.setTlsConfiguration(identity.configuration);
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    Received received(listener);

    const std::unique_ptr<QSslSocket> client = tlsClient(listener.port());
    // The listener's side of the handshake runs in this thread's event loop, so it is awaited, not blocked on.
    QTRY_VERIFY2(client->isEncrypted(), qPrintable(client->errorString()));
    client->write(counted("<165>1 2026-12-07T15:07:59Z demo-gate app - - - secret"));
    client->write(counted("<165>second"));

    QTRY_COMPARE(received.messages.size(), 2);
    QCOMPARE(received.from(client->localPort()),
             (QList<QByteArray>{"<165>1 2026-12-07T15:07:59Z demo-gate app - - - secret", "<165>second"}));
    QCOMPARE(received.problems, QStringList());
}

void TestStreamListener::peersInTheirHandshakeKeepNoOneOut()
{
    StreamListener listener;
    listener.setTlsConfiguration(testIdentity().configuration);
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    Received received(listener);

    // More silent peers than a server accepts pending connections by default (30), each in its handshake until
    // it times out.
    std::vector<std::unique_ptr<QTcpSocket>> silent;
    for (int i = 0; i < 40; ++i) {
        silent.push_back(std::make_unique<QTcpSocket>());
        silent.back()->connectToHost(QHostAddress::LocalHost, listener.port());
    }
    QTRY_COMPARE(listener.handshakeCount(), 40);

    // Meanwhile, as many senders as the listener serves are served, well within the handshake timeout.
    std::vector<std::unique_ptr<QSslSocket>> clients;
    for (int i = 0; i < StreamListener::kMaxConnections; ++i) {
        clients.push_back(tlsClient(listener.port()));
    }
    QTRY_COMPARE(listener.connectionCount(), StreamListener::kMaxConnections);
    for (const auto& client : clients) {
        QVERIFY2(client->isEncrypted(), qPrintable(client->errorString()));
        client->write(counted("<13>served"));
    }
    QTRY_COMPARE(received.messages.size(), StreamListener::kMaxConnections);

    // One more is one too many: refused at once, and said.
    const std::unique_ptr<QSslSocket> extra = tlsClient(listener.port());
    QTRY_COMPARE(received.problems.size(), 1);
    QVERIFY2(received.problems.at(0).startsWith(QStringLiteral("refused a connection from 127.0.0.1:")) &&
                 received.problems.at(0).endsWith(QStringLiteral(": 256 connections are open already")),
             qPrintable(received.problems.at(0)));
    QTRY_COMPARE(extra->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(listener.handshakeCount(), 40);
}

void TestStreamListener::connectionEndsAreHandedOnAndReported_data()
{
    QTest::addColumn<bool>("tls");
    QTest::addColumn<int>("timeoutMs"); // the handshake's and the silence's
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<bool>("clientCloses");
    QTest::addColumn<QList<QByteArray>>("messages");
    QTest::addColumn<bool>("lastIsCut");
    QTest::addColumn<QString>("problem"); // %1: the client; empty: none

    QTest::newRow("frame cut short by the close: handed on, marked cut")
        << false << 60000 << QByteArray("9 <13>whole40 <13>cut") << true << QList<QByteArray>{"<13>whole", "<13>cut"}
        << true << QString();
    QTest::newRow("silent after its messages: closed, its unended line handed on")
        << false << 100 << QByteArray("<13>first\n<13>unended") << false
        << QList<QByteArray>{"<13>first", "<13>unended"} << false
        << QStringLiteral("closed the connection from %1: nothing received for 0.1 s");
    QTest::newRow("plain TCP sender on the TLS port: closed, and said")
        << true << 60000 << QByteArray("<13>plain\n") << false << QList<QByteArray>{} << false
        << QStringLiteral("closed the connection from %1: not a TLS client (it began with \"<13>plain\\n\")");
    QTest::newRow("peer that never begins its TLS handshake: closed, and said")
        << true << 100 << QByteArray() << false << QList<QByteArray>{} << false
        << QStringLiteral("TLS handshake with %1 failed: none within 0.1 s");
}

void TestStreamListener::connectionEndsAreHandedOnAndReported()
{
    QFETCH(bool, tls);
    QFETCH(int, timeoutMs);
    QFETCH(QByteArray, sent);
    QFETCH(bool, clientCloses);
    QFETCH(QList<QByteArray>, messages);
    QFETCH(bool, lastIsCut);
    QFETCH(QString, problem);

    StreamListener listener;
    if (tls) {
        listener.setTlsConfiguration(testIdentity().configuration);
    }
    listener.setTimeouts(timeoutMs, timeoutMs);
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    Received received(listener);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, listener.port());
    QVERIFY(client.waitForConnected(5000));
    const quint16 clientPort = client.localPort(); // forgotten once closed
    const QString peer = QStringLiteral("127.0.0.1:%1").arg(clientPort);

    client.write(sent);
    if (clientCloses) {
        client.disconnectFromHost();
    }

    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(listener.connectionCount() + listener.handshakeCount(), 0);
    QCOMPARE(received.from(clientPort), messages);
    QCOMPARE(!received.messages.isEmpty() && received.messages.constLast().cut, lastIsCut);
    QCOMPARE(listener.cutCount(), quint64(lastIsCut ? 1 : 0));
    QCOMPARE(received.problems, problem.isEmpty() ? QStringList() : QStringList{problem.arg(peer)});
}

void TestStreamListener::tlsIdentityNamesWhatIsWrong_data()
{
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("error"); // empty: usable

    const QString certificate = tlsFile("harkwell-test.crt");
    const QString key = tlsFile("harkwell-test.key");
    const QString missing = tlsFile("no-such-file.pem");

    QTest::newRow("certificate and its key") << certificate << key << QString();
    QTest::newRow("missing certificate") << missing << key
                                         << QStringLiteral("cannot read the TLS certificate %1: ").arg(missing);
    QTest::newRow("a key instead of a certificate")
        << key << key << QStringLiteral("no PEM certificate in %1").arg(key);
    QTest::newRow("a certificate instead of a key")
        << certificate << certificate
        << QStringLiteral("no unencrypted PEM private key (RSA, EC or DSA) in %1").arg(certificate);
}

void TestStreamListener::tlsIdentityNamesWhatIsWrong()
{
    QFETCH(QString, certificate);
    QFETCH(QString, key);
    QFETCH(QString, error);

    const TlsIdentity identity = loadTlsIdentity(certificate, key);

    QVERIFY2(identity.error.startsWith(error) && identity.error.isEmpty() == error.isEmpty(),
             qPrintable(identity.error));
    if (identity.isValid()) {
        QCOMPARE(identity.configuration.localCertificate().subjectInfo(QSslCertificate::CommonName),
                 QStringList{"harkwell test"});
        QVERIFY(!identity.configuration.privateKey().isNull());
    }
}

QTEST_GUILESS_MAIN(TestStreamListener)
#include "tst_streamlistener.moc"
