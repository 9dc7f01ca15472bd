// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/listenerwindow.h"

#include "udptestkit.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane::harkwell;
using namespace harkwelltest;

namespace {

template <typename T>
T* child(const QWidget& window, const char* name)
{
    auto* widget = window.findChild<T*>(QLatin1String(name));
    if (!widget) {
        qFatal("no child named %s", name);
    }
    return widget;
}

QStringList shownLines(const QWidget& window)
{
    const QString text = child<QPlainTextEdit>(window, "datagramView")->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

QString counters(const QWidget& window)
{
    return child<QLabel>(window, "counterLabel")->text();
}

QString status(const QWidget& window)
{
    return child<QLabel>(window, "statusLabel")->text();
}

// A window listening on a free port of 127.0.0.1, shown offscreen.
struct ListeningWindow
{
    ListenerWindow window{QHostAddress(QHostAddress::LocalHost)};
    QUdpSocket sender;

    bool start() { return window.listenOn(0) && sender.bind(QHostAddress::LocalHost, 0); }
    bool send(const QList<QByteArray>& payloads) { return sendAll(sender, window.port(), payloads); }
};

} // namespace

class TestListenerWindow : public QObject
{
    Q_OBJECT

private slots:
    void showsEachDatagramWithTimeAndSender();
    void senderTableShowsEachSender();
    void pauseHoldsTheViewWhileCountersCount();
    void clearEmptiesViewAndCounters();
    void saveWritesTheShownLines_data();
    void saveWritesTheShownLines();
    void saveFailureIsShown();
    void viewKeepsTheNewestLines_data();
    void viewKeepsTheNewestLines();
    void bindFailureIsShownAndAnotherPortCanBeChosen();
    void tcpChosenInTheWindowReceivesLines();
    void tlsFileFailureIsShown();
    void peerProblemIsShownAndPassedOn();
};

void TestListenerWindow::showsEachDatagramWithTimeAndSender()
{
    ListeningWindow w;
    QVERIFY(w.start());
    QCOMPARE(w.window.windowTitle(), QStringLiteral("Harkwell - port %1").arg(w.window.port()));

    QVERIFY(w.send({"<13>alpha", "<165>Dec  7 15:07:59 demo-gate beta\n", ""}));

    QTRY_COMPARE(shownLines(w.window).size(), 3);
    const QString sender = QStringLiteral("127.0.0.1:%1").arg(w.sender.localPort());
    // Facility, severity and host stand between the sender and the text.
    const QStringList texts{" 1  5  -  <13>alpha", "20  5  demo-gate  <165>Dec  7 15:07:59 demo-gate beta",
                            " -  -  -  "};
    for (int i = 0; i < 3; ++i) {
        const QRegularExpression form(
            QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  %1  %2$")
                .arg(QRegularExpression::escape(sender), QRegularExpression::escape(texts.at(i))));
        QVERIFY2(form.match(shownLines(w.window).at(i)).hasMatch(), qPrintable(shownLines(w.window).at(i)));
    }
    // The rate itself depends on the clock; its arithmetic is the listener's test.
    QTRY_VERIFY2(QRegularExpression(QStringLiteral("^Datagrams: 3   Bytes: 45   Rate: \\d+/s   Dropped: 0$"))
                     .match(counters(w.window))
                     .hasMatch(),
                 qPrintable(counters(w.window)));
}

void TestListenerWindow::senderTableShowsEachSender()
{
    ListeningWindow w;
    QVERIFY(w.start());
    const QTableView* table = child<QTableView>(w.window, "senderTable");
    const QAbstractItemModel* senders = table->model();
    QVERIFY(w.send({"<13>no sequence id"}));
    QTRY_COMPARE(senders->rowCount(), 1);
    QCOMPARE(senders->data(senders->index(0, 1)).toString(), QStringLiteral("-"));
    QVERIFY(table->isColumnHidden(4)); // the sequence figures, until a message carries an id

    QVERIFY(w.send({R"(<134>1 - gate-7 korvane - - [meta sequenceId="1"] text)",
                    R"(<134>1 - gate-7 korvane - - [meta sequenceId="3"] text)"}));
    QTRY_COMPARE(senders->rowCount(), 2);
    QStringList row;
    for (int column = 0; column < senders->columnCount(); ++column) {
        row.append(senders->data(senders->index(1, column)).toString());
    }
    row.removeAt(3); // the rate depends on the clock; its arithmetic is the tally's test
    QCOMPARE(row, (QStringList{"127.0.0.1", "gate-7", "2", "1", "0", "0"}));
    QVERIFY(!table->isColumnHidden(4));

    // Clear starts the table again too.
    QTest::mouseClick(child<QPushButton>(w.window, "clearButton"), Qt::LeftButton);
    QCOMPARE(senders->rowCount(), 0);
}

void TestListenerWindow::pauseHoldsTheViewWhileCountersCount()
{
    ListeningWindow w;
    QVERIFY(w.start());
    QVERIFY(w.send({"one"}));
    QTRY_COMPARE(shownLines(w.window).size(), 1);

    QTest::mouseClick(child<QPushButton>(w.window, "pauseButton"), Qt::LeftButton);
    QVERIFY(w.send({"two", "three"}));
    // The counters and the view are refreshed together, so once the counters show three the view had its chance.
    QTRY_VERIFY2(counters(w.window).startsWith(QStringLiteral("Datagrams: 3 ")), qPrintable(counters(w.window)));
    QCOMPARE(shownLines(w.window).size(), 1);

    QTest::mouseClick(child<QPushButton>(w.window, "pauseButton"), Qt::LeftButton);
    QTRY_COMPARE(shownLines(w.window).size(), 3);
    QVERIFY(shownLines(w.window).at(1).endsWith(QStringLiteral("  two")));
    QVERIFY(shownLines(w.window).at(2).endsWith(QStringLiteral("  three")));
}

void TestListenerWindow::clearEmptiesViewAndCounters()
{
    ListeningWindow w;
    QVERIFY(w.start());
    QVERIFY(w.send({"old 1", "old 2"}));
    QTRY_COMPARE(shownLines(w.window).size(), 2);

    QTest::mouseClick(child<QPushButton>(w.window, "clearButton"), Qt::LeftButton);
    QCOMPARE(shownLines(w.window), QStringList());
    QVERIFY2(counters(w.window).startsWith(QStringLiteral("Datagrams: 0   Bytes: 0 ")), qPrintable(counters(w.window)));

    QVERIFY(w.send({"new"}));
    QTRY_COMPARE(shownLines(w.window).size(), 1);
    QVERIFY(shownLines(w.window).at(0).endsWith(QStringLiteral("  new")));
}

void TestListenerWindow::saveWritesTheShownLines_data()
{
    QTest::addColumn<QList<QByteArray>>("payloads");

    QTest::newRow("three datagrams, three lines") << QList<QByteArray>{"first", "second", "third"};
    QTest::newRow("nothing received, empty file") << QList<QByteArray>{};
}

void TestListenerWindow::saveWritesTheShownLines()
{
    QFETCH(QList<QByteArray>, payloads);

    ListeningWindow w;
    QVERIFY(w.start());
    QVERIFY(w.send(payloads));
    QTRY_COMPARE(shownLines(w.window).size(), payloads.size());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("saved.txt"));
    w.window.setSavePathChooser([&path](QWidget*) { return path; });

    QTest::mouseClick(child<QPushButton>(w.window, "saveButton"), Qt::LeftButton);

    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QStringList lines = shownLines(w.window);
    QCOMPARE(saved.readAll(), lines.isEmpty() ? QByteArray() : (lines.join(u'\n') + u'\n').toUtf8());
    QVERIFY2(status(w.window).startsWith(QStringLiteral("Saved %1 lines").arg(payloads.size())),
             qPrintable(status(w.window)));
}

void TestListenerWindow::saveFailureIsShown()
{
    ListeningWindow w;
    QVERIFY(w.start());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("no-such-folder/saved.txt"));

    QVERIFY(!w.window.saveTo(path));

    QVERIFY2(status(w.window).startsWith(QStringLiteral("Cannot save %1: ").arg(path)), qPrintable(status(w.window)));
    QVERIFY(!QFile::exists(path));

    // A cancelled dialog writes nothing and keeps the message.
    w.window.setSavePathChooser([](QWidget*) { return QString(); });
    QTest::mouseClick(child<QPushButton>(w.window, "saveButton"), Qt::LeftButton);
    QVERIFY(status(w.window).startsWith(QStringLiteral("Cannot save")));
}

void TestListenerWindow::viewKeepsTheNewestLines_data()
{
    QTest::addColumn<int>("maxLines");
    QTest::addColumn<int>("maxCharacters");
    QTest::addColumn<int>("payloadBytes");
    QTest::addColumn<bool>("paused"); // the lines wait for the view all together

    QTest::newRow("short lines: as many lines as the view keeps") << 100 << 1000000 << 30 << false;
    QTest::newRow("long lines: as many as fit in the view's size") << 100 << 20000 << 1000 << false;
    QTest::newRow("long lines waiting while paused: as many as fit") << 100 << 20000 << 1000 << true;
}

void TestListenerWindow::viewKeepsTheNewestLines()
{
    QFETCH(int, maxLines);
    QFETCH(int, maxCharacters);
    QFETCH(int, payloadBytes);
    QFETCH(bool, paused);

    ListeningWindow w;
    w.window.setViewLimits(maxLines, maxCharacters);
    QVERIFY(w.start());
    // A view holding something already, so that what goes is the oldest of the view as well as of the new lines.
    QVERIFY(w.send({"<13>old"}));
    QTRY_COMPARE(shownLines(w.window).size(), 1);
    if (paused) {
        QTest::mouseClick(child<QPushButton>(w.window, "pauseButton"), Qt::LeftButton);
    }
    const int total = 2 * maxLines;
    QList<QByteArray> payloads = numberedLines(0, total);
    for (QByteArray& payload : payloads) {
        payload += QByteArray(payloadBytes - payload.size(), '.');
    }
    // Sent in steps, each read before the next, so that the kernel's buffer never decides what is lost.
    for (int first = 0; first < total; first += 50) {
        QVERIFY(w.send(payloads.mid(first, 50)));
        QTRY_VERIFY2(counters(w.window).startsWith(QStringLiteral("Datagrams: %1 ").arg(first + 51)),
                     qPrintable(counters(w.window)));
    }
    if (paused) {
        QTest::mouseClick(child<QPushButton>(w.window, "pauseButton"), Qt::LeftButton);
    }

    QTRY_VERIFY(shownLines(w.window).constLast().endsWith(QString::fromLatin1(payloads.constLast())));
    const QStringList lines = shownLines(w.window);
    // Every line is as long as the others; the view counts a separator after each.
    const qsizetype lineCharacters = lines.constLast().size() + 1;
    const auto kept = std::min<qsizetype>(maxLines, maxCharacters / lineCharacters);
    QCOMPARE(lines.size(), kept);
    QVERIFY2(lines.constFirst().endsWith(QString::fromLatin1(payloads.at(total - kept))), qPrintable(lines.at(0)));
}

void TestListenerWindow::bindFailureIsShownAndAnotherPortCanBeChosen()
{
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::LocalHost, 0));
    QUdpSocket rival;
    QVERIFY(!rival.bind(QHostAddress::LocalHost, holder.localPort(), QAbstractSocket::DontShareAddress));
    ListenerWindow window{QHostAddress(QHostAddress::LocalHost)};

    QVERIFY(!window.listenOn(holder.localPort()));

    QCOMPARE(window.windowTitle(), QStringLiteral("Harkwell"));
    QCOMPARE(window.port(), quint16(0));
    QCOMPARE(status(window), QStringLiteral("Cannot listen on 127.0.0.1 UDP port %1: %2. Choose another port and "
                                            "press Listen.")
                                 .arg(holder.localPort())
                                 .arg(rival.errorString()));

    auto* portBox = child<QSpinBox>(window, "portBox");
    QCOMPARE(portBox->value(), int(holder.localPort()));
    portBox->setValue(0);
    QTest::mouseClick(child<QPushButton>(window, "listenButton"), Qt::LeftButton);

    QVERIFY(window.port() != 0);
    QCOMPARE(portBox->value(), int(window.port()));
    QCOMPARE(window.windowTitle(), QStringLiteral("Harkwell - port %1").arg(window.port()));
    QCOMPARE(status(window), QStringLiteral("Listening on 127.0.0.1 UDP port %1").arg(window.port()));
}

void TestListenerWindow::tcpChosenInTheWindowReceivesLines()
{
    ListenerWindow window{QHostAddress(QHostAddress::LocalHost)};
    child<QComboBox>(window, "transportBox")->setCurrentText(QStringLiteral("TCP"));
    QVERIFY(!child<QLineEdit>(window, "certificateEdit")->isVisibleTo(&window));
    child<QSpinBox>(window, "portBox")->setValue(0);
    QTest::mouseClick(child<QPushButton>(window, "listenButton"), Qt::LeftButton);
    QVERIFY(window.port() != 0);
    QCOMPARE(window.windowTitle(), QStringLiteral("Harkwell - TCP port %1").arg(window.port()));

    QTcpSocket sender;
    sender.connectToHost(QHostAddress::LocalHost, window.port());
    QVERIFY(sender.waitForConnected(5000));
    sender.write("<166>Dec  7 15:07:59 demo-gate up\n");

    QTRY_COMPARE(shownLines(window).size(), 1);
    const QRegularExpression form(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  127\\.0\\.0\\.1:%1  20  6  "
                                                 "demo-gate  <166>Dec  7 15:07:59 demo-gate up$")
                                      .arg(sender.localPort()));
    QVERIFY2(form.match(shownLines(window).at(0)).hasMatch(), qPrintable(shownLines(window).at(0)));
    QTRY_VERIFY2(counters(window).startsWith(QStringLiteral("Messages: 1   Bytes: 33 ")), qPrintable(counters(window)));

    // A frame that its connection's end cuts short is shown, marked, and counted.
    QTcpSocket cutter;
    cutter.connectToHost(QHostAddress::LocalHost, window.port());
    QVERIFY(cutter.waitForConnected(5000));
    cutter.write("40 <13>cut sh");
    cutter.disconnectFromHost();
    QTRY_COMPARE(shownLines(window).size(), 2);
    QVERIFY2(shownLines(window).at(1).endsWith(QStringLiteral("  <13>cut sh\t[cut]")),
             qPrintable(shownLines(window).at(1)));
    QTRY_VERIFY2(QRegularExpression(QStringLiteral("^Messages: 2   Bytes: 43   Rate: \\d+/s   Dropped: 0   Cut: 1$"))
                     .match(counters(window))
                     .hasMatch(),
                 qPrintable(counters(window)));
}

void TestListenerWindow::tlsFileFailureIsShown()
{
    ListenerWindow window{QHostAddress(QHostAddress::LocalHost)};
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("missing.pem"));
    window.setTransport(Transport::Tls, missing, missing);
    QVERIFY(child<QLineEdit>(window, "certificateEdit")->isVisibleTo(&window));

    QVERIFY(!window.listenOn(0));

    QCOMPARE(window.port(), quint16(0));
    QCOMPARE(window.windowTitle(), QStringLiteral("Harkwell"));
    QVERIFY2(status(window).startsWith(
                 QStringLiteral("Cannot listen over TLS: cannot read the TLS certificate %1: ").arg(missing)),
             qPrintable(status(window)));
}

void TestListenerWindow::peerProblemIsShownAndPassedOn()
{
    ListenerWindow window{QHostAddress(QHostAddress::LocalHost)};
    const QString tls = qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/tests/harkwell/tls/");
    window.setTransport(Transport::Tls, tls + QStringLiteral("harkwell-test.crt"),
                        tls + QStringLiteral("harkwell-test.key"));
    QVERIFY(window.listenOn(0));
    QSignalSpy passedOn(&window, &ListenerWindow::peerProblem);

    QTcpSocket plain;
    plain.connectToHost(QHostAddress::LocalHost, window.port());
    QVERIFY(plain.waitForConnected(5000));
    const QString expected = QStringLiteral("closed the connection from 127.0.0.1:%1: not a TLS client (it began "
                                            "with \"<13>plain\")")
                                 .arg(plain.localPort());
    plain.write("<13>plain");

    QTRY_COMPARE(status(window), expected);
    QCOMPARE(passedOn.size(), 1);
    QCOMPARE(passedOn.at(0).at(0).toString(), expected);
}

QTEST_MAIN(TestListenerWindow)
#include "tst_listenerwindow.moc"
