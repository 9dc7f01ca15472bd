// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The Source File button: the current source file listed in the output box, its line count,
// the box's 61,800-character limit, and a source that is absent or cannot be read.
#include "windowtest.h"

#include <QAbstractButton>
#include <QTest>

#include <cstring>

using namespace korvane;
using namespace korvane::test;

namespace {

// A started window over a folder holding the given source; shown, in the full view.
struct SourceWindow
{
    explicit SourceWindow(const QByteArray& realLogFile = "0")
    {
        env.folder.writeSettings({{"RealLogFile", realLogFile}, {"GenerationType", "0"}});
    }
    bool start()
    {
        if (window.load() != KorvaneFRM::LoadOutcome::Shown) {
            return false;
        }
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) {
            return false;
        }
        QTest::mouseClick(control(window, "Picture1"), Qt::LeftButton);
        return !window.isCompact();
    }
    void view() { QTest::mouseClick(control<QAbstractButton>(window, "CMD_ReadPixFile"), Qt::LeftButton); }

    WindowServices env;
    KorvaneFRM window{env.services()};
};

// `count` lines, each `width` characters long and starting with its number.
QByteArray numberedLines(int first, int count, int width)
{
    QByteArray text;
    for (int i = first; i < first + count; ++i) {
        QByteArray line = QByteArray::number(i).rightJustified(5, '0');
        line = line.leftJustified(width, 'x', true);
        text += line + "\r\n";
    }
    return text;
}

} // namespace

class SourceViewTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { quietToolkitNotices(); }

    void listsTheSourceFile_data();
    void listsTheSourceFile();
    void boxLimit_data();
    void boxLimit();
    void secondClickStartsAgain();
    void emptyFileKeepsTheCount();
    void unreadableSourceIsReported_data();
    void unreadableSourceIsReported();
};

void SourceViewTest::listsTheSourceFile_data()
{
    QTest::addColumn<QByteArray>("realLogFile");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("count");

    const QString abc = QStringLiteral("a\r\nb\r\nc\r\n");
    QTest::newRow("three lines with CR LF")
        << QByteArray("0") << "SAMPLE.TXT" << QByteArray("a\r\nb\r\nc\r\n") << abc << "Lines : 3";
    QTest::newRow("three lines with LF only")
        << QByteArray("0") << "SAMPLE.TXT" << QByteArray("a\nb\nc\n") << abc << "Lines : 3";
    QTest::newRow("three lines with CR only")
        << QByteArray("0") << "SAMPLE.TXT" << QByteArray("a\rb\rc\r") << abc << "Lines : 3";
    QTest::newRow("last line without an end")
        << QByteArray("0") << "SAMPLE.TXT" << QByteArray("a\r\nb\r\nc") << abc << "Lines : 3";
    QTest::newRow("an empty line in the middle")
        << QByteArray("0") << "SAMPLE.TXT" << QByteArray("a\r\n\r\nc\r\n") << "a\r\n\r\nc\r\n"
        << "Lines : 3";
    QTest::newRow("real logs list KORVANE.TXT")
        << QByteArray("1") << "KORVANE.TXT" << QByteArray("Dec  6 04:47:51 fw %PIX-6-1: x\r\n")
        << "Dec  6 04:47:51 fw %PIX-6-1: x\r\n"
        << "Lines : 1";
    QTest::newRow("twelve lines") << QByteArray("0") << "SAMPLE.TXT" << QByteArray("l\r\n").repeated(12)
                                  << QStringLiteral("l\r\n").repeated(12) << "Lines : 12";
    QTest::newRow("twenty thousand short lines")
        << QByteArray("0") << "SAMPLE.TXT" << QByteArray("a\r\n").repeated(20000)
        << QStringLiteral("a\r\n").repeated(20000) << "Lines : 20000";
    // Line 30,902 meets a box of 61,802 characters and is lost; 30,903 to 40,000 are shown.
    QTest::newRow("more lines than a 16-bit counter holds")
        << QByteArray("0") << "SAMPLE.TXT" << QByteArray("\r\n").repeated(40000)
        << QStringLiteral("\r\n").repeated(9098) << "Lines : 40000";
}

void SourceViewTest::listsTheSourceFile()
{
    QFETCH(QByteArray, realLogFile);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, source);
    QFETCH(QString, box);
    QFETCH(QString, count);

    SourceWindow w(realLogFile);
    // The other source holds something else, so listing the wrong file shows.
    w.env.folder.write(QStringLiteral("SAMPLE.TXT"), "other\r\n");
    w.env.folder.write(QStringLiteral("KORVANE.TXT"), "other\r\n");
    w.env.folder.write(fileName, source);
    QVERIFY(w.start());
    QCOMPARE(caption(w.window, "LBL_LineCount"), QStringLiteral("Lines :"));

    w.view();

    QCOMPARE(w.window.outputBox()->textLength(), box.size());
    QCOMPARE(w.window.outputBox()->text(), box);
    QCOMPARE(caption(w.window, "LBL_LineCount"), count);
    QCOMPARE(caption(w.window, "LBL_titre"), QStringLiteral("Source File"));
    QVERIFY(shown(w.window, "LBL_titre"));
    QVERIFY(!shown(w.window, "LBL_ProgName"));
    QVERIFY(w.window.outputBox()->isVisible());
    QCOMPARE(w.window.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(w.env.messages.calls.isEmpty());
    // The view only reads.
    QCOMPARE(w.env.folder.read(fileName), source);
    QCOMPARE(w.env.folder.read(QStringLiteral("GENERATE.TXT")), QByteArray());
}

void SourceViewTest::boxLimit_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<QString>("count");

    // 618 lines of 98 characters fill the box to exactly 61,800 characters with their CR LF.
    const QByteArray full = numberedLines(1, 618, 98);
    QTest::newRow("a box at exactly 61800 takes the next line") << full + "tail\r\n"
                                                                << full + "tail\r\n"
                                                                << "Lines : 619";

    // 617 such lines and one of 99 characters: 61,801 characters, so the next line is lost and
    // the one after it starts the box afresh; the count jumps from 618 to 620.
    const QByteArray over = numberedLines(1, 617, 98) + QByteArray(99, 'z') + "\r\n";
    QTest::newRow("a box over 61800 is emptied and the line lost") << over + "lost\r\nfresh\r\n"
                                                                   << QByteArray("fresh\r\n") << "Lines : 620";
    QTest::newRow("the lost line is the last one") << over + "lost\r\n" << QByteArray() << "Lines : 618";
    QTest::newRow("the limit applies again to the fresh box") << over + "lost\r\n" + over + "lost again\r\nlast\r\n"
                                                              << QByteArray("last\r\n") << "Lines : 1239";
}

void SourceViewTest::boxLimit()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, box);
    QFETCH(QString, count);

    SourceWindow w;
    w.env.folder.write(QStringLiteral("SAMPLE.TXT"), source);
    QVERIFY(w.start());
    w.view();

    QCOMPARE(w.window.outputBox()->textLength(), box.size());
    QCOMPARE(w.window.outputBox()->text().toLatin1(), box);
    QCOMPARE(caption(w.window, "LBL_LineCount"), count);
}

void SourceViewTest::secondClickStartsAgain()
{
    SourceWindow w;
    w.env.folder.write(QStringLiteral("SAMPLE.TXT"), "a\r\nb\r\nc\r\n");
    QVERIFY(w.start());

    w.view();
    w.window.outputBox()->appendLine("typed by the operator");
    w.view();

    QCOMPARE(w.window.outputBox()->text(), QStringLiteral("a\r\nb\r\nc\r\n"));
    QCOMPARE(caption(w.window, "LBL_LineCount"), QStringLiteral("Lines : 3"));
}

void SourceViewTest::emptyFileKeepsTheCount()
{
    SourceWindow w;
    w.env.folder.write(QStringLiteral("SAMPLE.TXT"), "a\r\nb\r\n");
    QVERIFY(w.start());
    w.view();
    QCOMPARE(caption(w.window, "LBL_LineCount"), QStringLiteral("Lines : 2"));

    w.env.folder.write(QStringLiteral("SAMPLE.TXT"), QByteArray());
    w.view();

    QCOMPARE(w.window.outputBox()->textLength(), 0);
    QCOMPARE(caption(w.window, "LBL_LineCount"), QStringLiteral("Lines : 2"));
    QCOMPARE(caption(w.window, "LBL_titre"), QStringLiteral("Source File"));
    QVERIFY(w.env.messages.calls.isEmpty());
}

void SourceViewTest::unreadableSourceIsReported_data()
{
    QTest::addColumn<bool>("folderInstead"); // SAMPLE.TXT is a folder rather than absent
    QTest::addColumn<int>("error");

    QTest::newRow("absent source") << false << ENOENT;
    QTest::newRow("source that cannot be read") << true << EISDIR;
}

void SourceViewTest::unreadableSourceIsReported()
{
    QFETCH(bool, folderInstead);
    QFETCH(int, error);

    SourceWindow w;
    w.env.folder.write(QStringLiteral("SAMPLE.TXT"), "a\r\nb\r\n");
    QVERIFY(w.start());
    w.view();
    QFile::remove(w.env.folder.path(QStringLiteral("SAMPLE.TXT")));
    if (folderInstead) {
        QDir(w.env.folder.path(QStringLiteral("."))).mkdir(QStringLiteral("SAMPLE.TXT"));
    }

    bool busyDuringMessage = true;
    w.env.messages.onCall = [&] { busyDuringMessage = w.window.cursor().shape() == Qt::WaitCursor; };
    w.view();

    QCOMPARE(w.env.messages.calls.size(), 1);
    const FakeMessages::Call& message = w.env.messages.calls.first();
    QVERIFY(!message.question);
    QVERIFY2(message.text.contains(QStringLiteral("SAMPLE.TXT")), qPrintable(message.text));
    QVERIFY2(message.text.contains(QString::fromLocal8Bit(std::strerror(error))), qPrintable(message.text));
    QVERIFY(!busyDuringMessage);
    QCOMPARE(w.window.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(w.window.outputBox()->textLength(), 0);
    QCOMPARE(caption(w.window, "LBL_titre"), QStringLiteral("Source File"));

    // The program goes on: the file back in place, the next view lists it.
    QDir(w.env.folder.path(QStringLiteral("."))).rmdir(QStringLiteral("SAMPLE.TXT"));
    w.env.folder.write(QStringLiteral("SAMPLE.TXT"), "d\r\n");
    w.view();
    QCOMPARE(w.window.outputBox()->text(), QStringLiteral("d\r\n"));
    QCOMPARE(caption(w.window, "LBL_LineCount"), QStringLiteral("Lines : 1"));
    QVERIFY(w.window.transport()->playButton()->isEnabled());
    QCOMPARE(w.env.messages.calls.size(), 1);
}

QTEST_MAIN(SourceViewTest)
#include "tst_sourceview.moc"
