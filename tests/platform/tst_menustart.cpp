// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/menustart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;

namespace {

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

QString shippedSamples()
{
    return qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/data");
}

} // namespace

class TestMenuStart : public QObject
{
    Q_OBJECT

private slots:
    void folderIsMadeOnceWithTheShippedFiles();
    void fileAlreadyThereIsNeverReplaced();
    void folderThatCannotBeMadeFails();
};

void TestMenuStart::folderIsMadeOnceWithTheShippedFiles()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString folder = home.filePath(QStringLiteral("Documents/Korvane"));

    const Result<QStringList> first = prepareMenuStartFolder(folder, shippedSamples());
    QVERIFY2(first.ok(), first.reason().c_str());
    QCOMPARE(first.value(), menuStartFiles());
    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("KORVANE.TXT"), QStringLiteral("SAMPLE.TXT"), QStringLiteral("korvane.ini")}));
    for (const QString& name : menuStartFiles()) {
        QCOMPARE(contentOf(QDir(folder).filePath(name)), contentOf(QDir(shippedSamples()).filePath(name)));
    }

    const Result<QStringList> again = prepareMenuStartFolder(folder, shippedSamples());
    QVERIFY2(again.ok(), again.reason().c_str());
    QCOMPARE(again.value(), QStringList());
}

void TestMenuStart::fileAlreadyThereIsNeverReplaced()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QByteArray mine = "[Settings]\r\nDelay=0.5\r\n";
    QFile ini(folder.filePath(QStringLiteral("korvane.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(mine);
    ini.close();

    const Result<QStringList> prepared = prepareMenuStartFolder(folder.path(), shippedSamples());
    QVERIFY2(prepared.ok(), prepared.reason().c_str());
    QCOMPARE(prepared.value(), (QStringList{QStringLiteral("SAMPLE.TXT"), QStringLiteral("KORVANE.TXT")}));
    QCOMPARE(contentOf(ini.fileName()), mine);
}

void TestMenuStart::folderThatCannotBeMadeFails()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QFile plain(home.filePath(QStringLiteral("Documents")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    const Result<QStringList> prepared =
        prepareMenuStartFolder(home.filePath(QStringLiteral("Documents/Korvane")), shippedSamples());
    QVERIFY(!prepared.ok());
    QVERIFY2(prepared.reason().find("Documents/Korvane") != std::string::npos, prepared.reason().c_str());
}

QTEST_GUILESS_MAIN(TestMenuStart)
#include "tst_menustart.moc"
