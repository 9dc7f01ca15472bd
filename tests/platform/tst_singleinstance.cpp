// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/singleinstance.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <unistd.h>

using namespace korvane;

namespace {

// Another copy of the program, holding (or failing to take) the lock at `path`.
class OtherCopy
{
public:
    explicit OtherCopy(const QString& path)
    {
        m_process.start(QStringLiteral(KORVANE_LOCK_HOLDER), {path});
        if (m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000)) {
            m_answer = QString::fromLatin1(m_process.readLine()).trimmed();
        }
    }
    ~OtherCopy()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QString answer() const { return m_answer; } // "held" or "refused"
    // Ends as a closed program ends: the lock is given back.
    bool endNormally()
    {
        m_process.closeWriteChannel();
        return m_process.waitForFinished(5000);
    }
    // Ends without any chance to clean up: the lock file stays behind.
    bool killHard()
    {
        ::kill(pid_t(m_process.processId()), SIGKILL);
        return m_process.waitForFinished(5000) && m_process.exitStatus() == QProcess::CrashExit;
    }

private:
    QProcess m_process;
    QString m_answer;
};

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondObjectRefusedWhileFirstHolds();
    void otherProcess_data();
    void otherProcess();
    void lockThatCannotBeMadeDoesNotRefuse();
    void defaultLockPathIsPerUserInRuntimeFolder();
};

void TestSingleInstance::secondObjectRefusedWhileFirstHolds()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("korvane.lock"));
    {
        SingleInstanceLock first(path);
        QVERIFY(first.tryAcquire());
        QVERIFY(first.isHeld());
        SingleInstanceLock second(path);
        QVERIFY(!second.tryAcquire());
        QVERIFY(!second.tryAcquire()); // still refused when asked again
        QVERIFY(!second.isHeld());
        QVERIFY(first.tryAcquire()); // the holder keeps it
        QVERIFY(QFileInfo::exists(path));
    }
    // Given back when the holder goes: the next start gets it.
    QVERIFY(!QFileInfo::exists(path));
    SingleInstanceLock third(path);
    QVERIFY(third.tryAcquire());
}

void TestSingleInstance::otherProcess_data()
{
    QTest::addColumn<bool>("heldHere");
    QTest::addColumn<bool>("killed");

    QTest::newRow("held here, the other copy is refused") << true << false;
    QTest::newRow("held there, taken here after it closed") << false << false;
    QTest::newRow("held there, taken over at once after SIGKILL") << false << true;
}

void TestSingleInstance::otherProcess()
{
    QFETCH(bool, heldHere);
    QFETCH(bool, killed);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("korvane.lock"));
    SingleInstanceLock here(path);
    if (heldHere) {
        QVERIFY(here.tryAcquire());
        OtherCopy other(path);
        QCOMPARE(other.answer(), QStringLiteral("refused"));
        QVERIFY(other.endNormally());
        QVERIFY(here.tryAcquire()); // a refused copy does not disturb the running one
        return;
    }

    OtherCopy other(path);
    QCOMPARE(other.answer(), QStringLiteral("held"));
    QVERIFY(!here.tryAcquire());
    if (killed) {
        QVERIFY(other.killHard());
        QVERIFY(QFileInfo::exists(path)); // left behind by the dead copy
    } else {
        QVERIFY(other.endNormally());
    }
    QVERIFY(here.tryAcquire());
    OtherCopy third(path);
    QCOMPARE(third.answer(), QStringLiteral("refused"));
}

void TestSingleInstance::lockThatCannotBeMadeDoesNotRefuse()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gone/korvane.lock"));
    SingleInstanceLock lock(path);
    QVERIFY(lock.tryAcquire()); // the program starts rather than calling itself "already loaded"
    QVERIFY(!lock.isHeld());
    QVERIFY(!QFileInfo::exists(path));
}

void TestSingleInstance::defaultLockPathIsPerUserInRuntimeFolder()
{
    QTemporaryDir runtime; // 0700, as the runtime folder must be
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    const QString path = SingleInstanceLock::defaultLockPath();
    qputenv("XDG_RUNTIME_DIR", saved);

    const QFileInfo info(path);
    QCOMPARE(QDir(info.absolutePath()).canonicalPath(), QDir(runtime.path()).canonicalPath());
    QVERIFY2(info.fileName().contains(QString::number(::getuid())), qPrintable(path));
    QVERIFY(SingleInstanceLock(path).tryAcquire());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
