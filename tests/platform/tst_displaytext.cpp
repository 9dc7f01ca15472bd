// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/displaytext.h"

#include <QTest>

using namespace korvane;

class TestDisplayText : public QObject
{
    Q_OBJECT

private slots:
    void shown_data();
    void shown();
};

void TestDisplayText::shown_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("byteForByte");

    QTest::newRow("ASCII") << QByteArray("%PIX-6-302013: Built") << QStringLiteral("%PIX-6-302013: Built") << true;
    QTest::newRow("empty") << QByteArray() << QString() << true;
    QTest::newRow("a NUL byte is kept") << QByteArray("a\0b", 3) << QStringView(u"a\0b", 3).toString() << true;
    QTest::newRow("valid UTF-8 accents") << QByteArray("r\xc3\xa9seau") << QStringLiteral("r\u00e9seau") << false;
    QTest::newRow("valid UTF-8 beyond the BMP")
        << QByteArray("\xf0\x9f\x94\xa5!") << QStringLiteral("\U0001F525!") << false;
    QTest::newRow("a leading byte-order mark stays")
        << QByteArray("\xef\xbb\xbfstart") << QStringLiteral("\ufeffstart") << false;

    // Anything that is not UTF-8 is shown byte for byte as Latin-1.
    QTest::newRow("Latin-1 accents") << QByteArray("r\xe9seau \xe0 l'\xeet")
                                     << QStringLiteral("r\u00e9seau \u00e0 l'\u00eet") << true;
    QTest::newRow("a cut UTF-8 sequence at the end") << QByteArray("caf\xc3") << QStringLiteral("caf\u00c3") << true;
    QTest::newRow("an overlong encoding") << QByteArray("\xc0\xafx") << QStringLiteral("\u00c0\u00afx") << true;
    QTest::newRow("an encoded surrogate") << QByteArray("\xed\xa0\x80") << QStringLiteral("\u00ed\u00a0\u0080") << true;
    QTest::newRow("valid UTF-8 then one stray byte")
        << QByteArray("\xc3\xa9t\xc3\xa9 \xff") << QStringLiteral("\u00c3\u00a9t\u00c3\u00a9 \u00ff") << true;
    QTest::newRow("bytes above 0x7f alone")
        << QByteArray("\x80\x9f\xa0") << QStringLiteral("\u0080\u009f\u00a0") << true;
}

void TestDisplayText::shown()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QFETCH(bool, byteForByte);

    const QString text = displayText(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    QCOMPARE(text, expected);
    QVERIFY(!text.contains(QChar::ReplacementCharacter));
    if (byteForByte) {
        QCOMPARE(text.size(), bytes.size()); // no byte lost, none merged
    }
}

QTEST_GUILESS_MAIN(TestDisplayText)
#include "tst_displaytext.moc"
