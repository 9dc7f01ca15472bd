// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/programlauncher.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;

namespace {

enum class Kind
{
    None,
    Executable,
    PlainFile,
    Folder
};

void place(const QString& folder, const QString& name, Kind kind)
{
    const QString path = QDir(folder).filePath(name);
    if (kind == Kind::Folder) {
        QVERIFY(QDir().mkpath(path));
        return;
    }
    if (kind == Kind::None) {
        return;
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nexit 0\n");
    file.close();
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    if (kind == Kind::Executable) {
        permissions |= QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    }
    QVERIFY(file.setPermissions(permissions));
}

// Sets an environment variable for the life of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value) : m_name(name), m_old(qgetenv(name)) { qputenv(name, value); }
    ~ScopedEnv() { qputenv(m_name, m_old); }

private:
    const char* m_name;
    QByteArray m_old;
};

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestProgramLauncher : public QObject
{
    Q_OBJECT

private slots:
    void findProgram_data();
    void findProgram();
    void launchFindsItOnThePath();
    void launchOfAnAbsentProgramFails();
};

void TestProgramLauncher::findProgram_data()
{
    QTest::addColumn<Kind>("beside");
    QTest::addColumn<Kind>("onFirstPath");
    QTest::addColumn<Kind>("onSecondPath");
    QTest::addColumn<QString>("expectedIn"); // "own", "first", "second" or "" for nowhere

    QTest::newRow("beside the program wins over PATH")
        << Kind::Executable << Kind::Executable << Kind::None << QStringLiteral("own");
    QTest::newRow("found on PATH when nothing is beside")
        << Kind::None << Kind::None << Kind::Executable << QStringLiteral("second");
    QTest::newRow("the first PATH folder wins")
        << Kind::None << Kind::Executable << Kind::Executable << QStringLiteral("first");
    QTest::newRow("a non-executable file beside is skipped")
        << Kind::PlainFile << Kind::None << Kind::Executable << QStringLiteral("second");
    QTest::newRow("a folder of that name beside is skipped")
        << Kind::Folder << Kind::Executable << Kind::None << QStringLiteral("first");
    QTest::newRow("a non-executable file on PATH is skipped")
        << Kind::None << Kind::PlainFile << Kind::Executable << QStringLiteral("second");
    QTest::newRow("nowhere") << Kind::None << Kind::None << Kind::None << QString();
    QTest::newRow("only non-executable files") << Kind::PlainFile << Kind::PlainFile << Kind::None << QString();
}

void TestProgramLauncher::findProgram()
{
    QFETCH(Kind, beside);
    QFETCH(Kind, onFirstPath);
    QFETCH(Kind, onSecondPath);
    QFETCH(QString, expectedIn);

    QTemporaryDir root;
    const QString own = root.filePath(QStringLiteral("own"));
    const QString first = root.filePath(QStringLiteral("first"));
    const QString second = root.filePath(QStringLiteral("second"));
    for (const QString& folder : {own, first, second}) {
        QVERIFY(QDir().mkpath(folder));
    }
    const QString name = QStringLiteral("harkwell");
    place(own, name, beside);
    place(first, name, onFirstPath);
    place(second, name, onSecondPath);

    const QString found = korvane::findProgram(name, own, {first, second});
    const QString expected = expectedIn.isEmpty() ? QString() : QDir(root.filePath(expectedIn)).filePath(name);
    QCOMPARE(found, expected);
}

void TestProgramLauncher::launchFindsItOnThePath()
{
    // A stand-in listener on PATH that notes where it was started and with which arguments.
    QTemporaryDir bin;
    QTemporaryDir work;
    const QString name = QStringLiteral("korvane-test-listener");
    const QString note = work.filePath(QStringLiteral("started.txt"));
    {
        QFile script(QDir(bin.path()).filePath(name));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$(pwd -P) $# $*\" > started.tmp && mv started.tmp started.txt\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
    }

    const QString savedCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));
    korvane::Result<> started;
    {
        ScopedEnv path("PATH", bin.path().toLocal8Bit() + ':' + qgetenv("PATH"));
        started = launchDetached(name, {QStringLiteral("--tcp"), QStringLiteral("--port"), QStringLiteral("5516")});
    }
    QDir::setCurrent(savedCwd);
    QVERIFY2(started, started.reason().c_str());

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(note), 5000);
    QFile file(note);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(file.readAll()).trimmed(),
             QDir(work.path()).canonicalPath() + QStringLiteral(" 3 --tcp --port 5516"));
}

void TestProgramLauncher::launchOfAnAbsentProgramFails()
{
    const QString name = QStringLiteral("korvane-no-such-program");
    const korvane::Result<> launched = launchDetached(name);
    QVERIFY(!launched);
    QVERIFY2(QString::fromStdString(launched.reason()).contains(name), launched.reason().c_str());
}

QTEST_GUILESS_MAIN(TestProgramLauncher)
#include "tst_programlauncher.moc"
