// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "settings/profile.h"
#include "stdtostring.h"

#include <QTest>

using namespace korvane;

class TestProfile : public QObject
{
    Q_OBJECT

private slots:
    void readsLikeTheProfileFunctions_data();
    void readsLikeTheProfileFunctions();
    void writeChangesOnlyItsKey_data();
    void writeChangesOnlyItsKey();
    void writtenValueReadsBack_data();
    void writtenValueReadsBack();
};

void TestProfile::readsLikeTheProfileFunctions_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray longValue = QByteArray(60, 'a') + QByteArray(90, 'b');
    QTest::newRow("section and key in any case")
        << QByteArray("[SETTINGS]\r\ndelay=5\r\n") << QByteArray("Delay") << QByteArray("5");
    QTest::newRow("blanks around names and value")
        << QByteArray("  [ Settings ]  \n  Delay   =   5 s  \n") << QByteArray("Delay") << QByteArray("5 s");
    QTest::newRow("tabs around names and value")
        << QByteArray("[Settings]\n\tDelay\t=\t7\t\n") << QByteArray("Delay") << QByteArray("7");
    QTest::newRow("blanks around the asked name")
        << QByteArray("[Settings]\nDelay=7\n") << QByteArray(" Delay ") << QByteArray("7");
    QTest::newRow("double quotes taken off")
        << QByteArray("[Settings]\nHeaderString=\" %PIX \"\n") << QByteArray("HeaderString") << QByteArray(" %PIX ");
    QTest::newRow("single quotes taken off")
        << QByteArray("[Settings]\nUserName='x y'\n") << QByteArray("UserName") << QByteArray("x y");
    QTest::newRow("mismatched quotes kept")
        << QByteArray("[Settings]\nUserName='abc\"\n") << QByteArray("UserName") << QByteArray("'abc\"");
    QTest::newRow("a lone quote kept") << QByteArray("[Settings]\nUserName=\"\n") << QByteArray("UserName")
                                       << QByteArray("\"");
    QTest::newRow("inner quotes kept") << QByteArray("[Settings]\nUserName=a\"b\"c\n") << QByteArray("UserName")
                                       << QByteArray("a\"b\"c");
    QTest::newRow("value cut to 99 characters") << "[Settings]\r\nUserName=" + longValue + "\r\n"
                                                << QByteArray("UserName") << longValue.left(99);
    QTest::newRow("quoted value cut after its quotes") << "[Settings]\nUserName=\"" + longValue + "\"\n"
                                                       << QByteArray("UserName") << longValue.left(99);
    QTest::newRow("semicolon comment is no key")
        << QByteArray("[Settings]\n; Delay=5\n") << QByteArray("Delay") << QByteArray();
    QTest::newRow("hash comment is no key")
        << QByteArray("[Settings]\n  # Delay=5\n") << QByteArray("Delay") << QByteArray();
    QTest::newRow("key of another section unseen")
        << QByteArray("[Other]\nDelay=5\n") << QByteArray("Delay") << QByteArray();
    QTest::newRow("key before any section unseen")
        << QByteArray("Delay=5\n[Settings]\n") << QByteArray("Delay") << QByteArray();
    QTest::newRow("first of two keys wins")
        << QByteArray("[Settings]\nDelay=1\nDelay=2\n") << QByteArray("Delay") << QByteArray("1");
    QTest::newRow("first of two sections wins")
        << QByteArray("[Settings]\nX=1\n[Settings]\nDelay=2\n") << QByteArray("Delay") << QByteArray();
    QTest::newRow("key found after other sections")
        << QByteArray("[A]\nDelay=1\n[Settings]\nDelay=2\n[B]\nDelay=3") << QByteArray("Delay") << QByteArray("2");
    QTest::newRow("absent file content") << QByteArray() << QByteArray("Delay") << QByteArray();
    QTest::newRow("empty value") << QByteArray("[Settings]\nDelay=\n") << QByteArray("Delay") << QByteArray();
    QTest::newRow("equals sign inside the value")
        << QByteArray("[Settings]\nHeaderString=a=b\n") << QByteArray("HeaderString") << QByteArray("a=b");
    QTest::newRow("semicolon after a value is part of it")
        << QByteArray("[Settings]\nDelay=5 ; five\n") << QByteArray("Delay") << QByteArray("5 ; five");
    QTest::newRow("lone CR line ends") << QByteArray("[Settings]\rDelay=5\rX=1") << QByteArray("Delay")
                                       << QByteArray("5");
    QTest::newRow("last line without line end")
        << QByteArray("[Settings]\r\nDelay=5") << QByteArray("Delay") << QByteArray("5");
    QTest::newRow("text after the header bracket ignored")
        << QByteArray("[Settings] ; main\nDelay=5\n") << QByteArray("Delay") << QByteArray("5");
    QTest::newRow("section name matched whole")
        << QByteArray("[Settings2]\nDelay=5\n") << QByteArray("Delay") << QByteArray();
    QTest::newRow("key name matched whole")
        << QByteArray("[Settings]\nDelay2=5\nDel=6\n") << QByteArray("Delay") << QByteArray();
    QTest::newRow("byte-order mark before the first section")
        << QByteArray("\xEF\xBB\xBF[Settings]\r\nDelay=5\r\n") << QByteArray("Delay") << QByteArray("5");
    QTest::newRow("line without equals sign is no key")
        << QByteArray("[Settings]\nDelay\nDelay=3\n") << QByteArray("Delay") << QByteArray("3");
}

void TestProfile::readsLikeTheProfileFunctions()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(profileRead(content.toStdString(), "Settings", key.toStdString())), expected);
}

void TestProfile::writeChangesOnlyItsKey_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    // Every row writes Delay=1 into section Settings.
    QTest::newRow("new file uses CR LF") << QByteArray() << QByteArray("[Settings]\r\nDelay=1\r\n");
    QTest::newRow("value replaced in place, spacing and case kept")
        << QByteArray("[settings]\r\n  DELAY = 5  \r\nX=1\r\n") << QByteArray("[settings]\r\n  DELAY = 1  \r\nX=1\r\n");
    QTest::newRow("quoted value replaced with its quotes")
        << QByteArray("[Settings]\nDelay=\"5\"\n") << QByteArray("[Settings]\nDelay=1\n");
    QTest::newRow("empty value filled") << QByteArray("[Settings]\nDelay=\n") << QByteArray("[Settings]\nDelay=1\n");
    QTest::newRow("new key after the last key, before what leads into the next section")
        << QByteArray("[Settings]\nA=1\n\n; next\n[Other]\nB=2\n")
        << QByteArray("[Settings]\nA=1\nDelay=1\n\n; next\n[Other]\nB=2\n");
    QTest::newRow("new key under the header of an empty section")
        << QByteArray("[Settings]\r\n[Other]\r\n") << QByteArray("[Settings]\r\nDelay=1\r\n[Other]\r\n");
    QTest::newRow("new key after a last line without line end")
        << QByteArray("[Settings]\nA=1") << QByteArray("[Settings]\nA=1\nDelay=1");
    QTest::newRow("missing section appended after a blank line")
        << QByteArray("[Other]\nB=2\n") << QByteArray("[Other]\nB=2\n\n[Settings]\nDelay=1\n");
    QTest::newRow("missing section appended to a file without final line end")
        << QByteArray("[Other]\r\nB=2") << QByteArray("[Other]\r\nB=2\r\n\r\n[Settings]\r\nDelay=1\r\n");
    QTest::newRow("file without any line end gets CR LF")
        << QByteArray("; x") << QByteArray("; x\r\n\r\n[Settings]\r\nDelay=1\r\n");
    QTest::newRow("file ending in a blank line gets no second one")
        << QByteArray("[Other]\n\n") << QByteArray("[Other]\n\n[Settings]\nDelay=1\n");
    QTest::newRow("comment that looks like the key left alone")
        << QByteArray("[Settings]\n;Delay=5\nA=1\n") << QByteArray("[Settings]\n;Delay=5\nA=1\nDelay=1\n");
    QTest::newRow("only the first of two keys changes")
        << QByteArray("[Settings]\nDelay=5\nDelay=6\n") << QByteArray("[Settings]\nDelay=1\nDelay=6\n");
    QTest::newRow("same key in another section left alone")
        << QByteArray("[Other]\nDelay=5\n[Settings]\nA=1\n")
        << QByteArray("[Other]\nDelay=5\n[Settings]\nA=1\nDelay=1\n");
    QTest::newRow("lone CR file keeps CR")
        << QByteArray("[Settings]\rA=1\r") << QByteArray("[Settings]\rA=1\rDelay=1\r");
    QTest::newRow("byte-order mark kept, key replaced")
        << QByteArray("\xEF\xBB\xBF[Settings]\r\nDelay=5\r\n") << QByteArray("\xEF\xBB\xBF[Settings]\r\nDelay=1\r\n");
    QTest::newRow("byte-order mark kept, key added")
        << QByteArray("\xEF\xBB\xBF[Settings]\nA=1\n") << QByteArray("\xEF\xBB\xBF[Settings]\nA=1\nDelay=1\n");
    QTest::newRow("mixed line ends: new line takes the first one")
        << QByteArray("[Settings]\r\nA=1\nB=2\n") << QByteArray("[Settings]\r\nA=1\nB=2\nDelay=1\r\n");
}

void TestProfile::writeChangesOnlyItsKey()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(profileWrite(content.toStdString(), "Settings", "Delay", "1")), expected);
}

void TestProfile::writtenValueReadsBack_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain") << QByteArray("10.11.11.11") << QByteArray("10.11.11.11");
    QTest::newRow("blanks around are lost") << QByteArray("  x  ") << QByteArray("x");
    QTest::newRow("quotes keep blanks") << QByteArray("\" x \"") << QByteArray(" x ");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("long value cut on reading") << QByteArray(120, 'v') << QByteArray(99, 'v');
}

void TestProfile::writtenValueReadsBack()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    const std::string base = "; top\n[Settings]\nA=1\n[Other]\nUserName=other\n";
    for (const std::string& content : {std::string(), base, profileWrite(base, "Settings", "UserName", "old")}) {
        const std::string written = profileWrite(content, "Settings", "UserName", value.toStdString());
        QCOMPARE(QByteArray::fromStdString(profileRead(written, "Settings", "UserName")), expected);
        QCOMPARE(profileRead(written, "Other", "UserName"), profileRead(content, "Other", "UserName"));
    }
}

QTEST_APPLESS_MAIN(TestProfile)
#include "tst_profile.moc"
