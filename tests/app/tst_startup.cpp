// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Start-up of the window: what the settings panel shows, where the window goes, how the output
// file and the source file are prepared, and the refusal of a second copy.
#include "windowtest.h"

#include "settings/settings.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <cstring>

using namespace korvane;
using namespace korvane::test;

using Keys = std::vector<std::pair<QByteArray, QByteArray>>;
Q_DECLARE_METATYPE(Keys)
Q_DECLARE_METATYPE(korvane::MessageService::Answer)

namespace {

QColor lampColour(const QWidget& window, const char* name)
{
    const auto* lamp = control<StatusLamp>(window, name);
    return lamp ? lamp->colour() : QColor();
}

// The output start-up prepared is ready for lines: the file open, the socket configured.
bool outputOpen(const KorvaneFRM& window)
{
    return window.output().status().state == SinkStatus::State::Open;
}

const QByteArray threeTemplates = "%PIX-6-199001: Line one\r\n%PIX-6-199002: Line two\r\n%PIX-6-199003: Line three\r\n";

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void showsTheSettingsInForce_data();
    void showsTheSettingsInForce();
    void saysWhereTheLinesGo_data();
    void saysWhereTheLinesGo();
    void tellsWhatWasWrongWithTheSettingsFile_data();
    void tellsWhatWasWrongWithTheSettingsFile();
    void placesTheWindowWhereItWas_data();
    void placesTheWindowWhereItWas();
    void asksBeforeReusingAnOutputFile_data();
    void asksBeforeReusingAnOutputFile();
    void signalDuringAStartupBoxWritesNothingMore_data();
    void signalDuringAStartupBoxWritesNothingMore();
    void createsAnAbsentOutputFileSilently();
    void reportsAnOutputFileThatCannotBeOpened_data();
    void reportsAnOutputFileThatCannotBeOpened();
    void endsWhenTheSourceToCountIsAbsent_data();
    void endsWhenTheSourceToCountIsAbsent();
    void reportsASourceThatCannotBeCounted();
    void reportsAnUnusableReceiver();
    void tcpLampFollowsTheConnection();
    void refusesASecondCopyWithoutTouchingTheSettings();
    void firstStartWritesTheDefaultSettings();
};

void StartupTest::showsTheSettingsInForce_data()
{
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QString>("logs");
    QTest::addColumn<QString>("delay");
    QTest::addColumn<QString>("justOne");
    QTest::addColumn<QString>("generationType");
    QTest::addColumn<QString>("syslogFile");
    QTest::addColumn<QString>("hostIp"); // empty: the label stays hidden
    QTest::addColumn<QColor>("winsockLamp");

    const QColor green(0, 255, 0);
    const QColor red(255, 0, 0);
    QTest::newRow("sample logs to the output file")
        << Keys{{"RealLogFile", "0"}, {"Delay", "1"}, {"onetime", "1"}, {"GenerationType", "0"}, {"SyslogFile", "0"}}
        << "Sample Logs"
        << "Delay : 1 s"
        << "Just One : Yes"
        << "Generation Type : 0"
        << "Syslog File : No"
        << "" << green;
    QTest::newRow("real logs over UDP") << Keys{{"RealLogFile", "1"},      {"Delay", "0.5"},    {"onetime", "0.5"},
                                                {"GenerationType", "3"},   {"SyslogFile", "1"}, {"HostIP", "127.0.0.1"},
                                                {"UDP_Port_Syslog", "514"}}
                                        << "Real Logs"
                                        << "Delay : 0.5 s"
                                        << "Just One : No"
                                        << "Generation Type : 3"
                                        << "Syslog File : Yes"
                                        << "Host IP : 127.0.0.1" << red;
    QTest::newRow("absent delay shows the one second in use") << Keys{{"onetime", "1"}} << "Sample Logs"
                                                              << "Delay : 1 s"
                                                              << "Just One : Yes"
                                                              << "Generation Type : 0"
                                                              << "Syslog File : No"
                                                              << "" << green;
    QTest::newRow("a rate profile shows in place of the delay")
        << Keys{{"Delay", "2"}, {"onetime", "0"}, {"RateProfile", "ramp 1000 20000 60"}} << "Sample Logs"
        << "Delay : ramp 1000-20000/60s"
        << "Just One : No"
        << "Generation Type : 0"
        << "Syslog File : No"
        << "" << green;
    QTest::newRow("generation type 9 shows the 0 in use")
        << Keys{{"Delay", "2"}, {"onetime", "0"}, {"GenerationType", "9"}} << "Sample Logs"
        << "Delay : 2 s"
        << "Just One : No"
        << "Generation Type : 0"
        << "Syslog File : No"
        << "" << green;
    QTest::newRow("generation type -1 is kept") << Keys{{"GenerationType", "-1"}} << "Sample Logs"
                                                << "Delay : 1 s"
                                                << "Just One : No"
                                                << "Generation Type : -1"
                                                << "Syslog File : No"
                                                << "" << green;
    QTest::newRow("host taken from the file")
        << Keys{{"SyslogFile", "1"}, {"HostIP", "10.20.30.40"}, {"UDP_Port_Syslog", "1514"}} << "Sample Logs"
        << "Delay : 1 s"
        << "Just One : No"
        << "Generation Type : 0"
        << "Syslog File : Yes"
        << "Host IP : 10.20.30.40" << red;
}

void StartupTest::showsTheSettingsInForce()
{
    QFETCH(Keys, keys);
    QFETCH(QString, logs);
    QFETCH(QString, delay);
    QFETCH(QString, justOne);
    QFETCH(QString, generationType);
    QFETCH(QString, syslogFile);
    QFETCH(QString, hostIp);
    QFETCH(QColor, winsockLamp);

    WindowServices env;
    QVERIFY(env.folder.isValid());
    env.folder.writeSettings(keys);
    env.folder.write(QStringLiteral("SAMPLE.TXT"), threeTemplates);
    KorvaneFRM window(env.services());
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::Shown);

    QCOMPARE(window.windowTitle(), QStringLiteral("Korvane 2.0"));
    QCOMPARE(caption(window, "LBL_ProgName"), QStringLiteral("Korvane"));
    QVERIFY(shown(window, "LBL_ProgName"));
    QVERIFY(!shown(window, "LBL_titre"));
    QCOMPARE(caption(window, "LBL_Logs"), logs);
    QCOMPARE(caption(window, "LBL_Delay"), delay);
    QCOMPARE(caption(window, "LBL_LineNumber"), justOne);
    QCOMPARE(caption(window, "LBL_GenerationType"), generationType);
    QCOMPARE(caption(window, "LBL_SyslogFile"), syslogFile);
    QCOMPARE(shown(window, "LBL_HostIP"), !hostIp.isEmpty());
    if (!hostIp.isEmpty()) {
        QCOMPARE(caption(window, "LBL_HostIP"), hostIp);
    }
    QCOMPARE(lampColour(window, "FRM_Winsock"), winsockLamp);
    QCOMPARE(lampColour(window, "FRM_On"), QColor(0, 255, 0));
    QCOMPARE(window.outputBox()->textLength(), 0);
    QCOMPARE(caption(window, "LBL_LineCount"), QStringLiteral("Lines :"));
    for (const char* lamp : {"FRM_Yellow", "FRM_Red", "frm_green"}) {
        QVERIFY2(!shown(window, lamp), lamp);
    }

    // Lines go to exactly one place: the file is prepared only when they do not go over UDP.
    const bool udp = window.settings().SyslogFile == 1;
    QCOMPARE(env.folder.exists(QStringLiteral("GENERATE.TXT")), !udp);
    QCOMPARE(window.output().kind(), udp ? OutputKind::Udp : OutputKind::File);
    QVERIFY(outputOpen(window));
    QVERIFY(env.messages.calls.isEmpty());
}

void StartupTest::saysWhereTheLinesGo_data()
{
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QString>("destination"); // "GENERATE.TXT" for the file in the working folder

    const Keys network{{"SyslogFile", "1"}, {"HostIP", "127.0.0.1"}, {"UDP_Port_Syslog", "5516"}};
    Keys tcp = network;
    tcp.insert(tcp.end(), {{"Protocol", "TCP"}, {"TCP_Framing", "1"}, {"SyslogFormat", "2"}});
    QTest::newRow("TCP") << tcp << "TCP 127.0.0.1:5516, octet counting, RFC 5424";
    QTest::newRow("UDP") << network << "UDP 127.0.0.1:5516, plain lines";
    QTest::newRow("the output file") << Keys{{"SyslogFile", "0"}} << "GENERATE.TXT";
}

// The captions stay short; the settings panel's output labels tell the whole destination and the
// working folder. LBL_HostIP, hidden for the file, leaves it to LBL_SyslogFile then.
void StartupTest::saysWhereTheLinesGo()
{
    QFETCH(Keys, keys);
    QFETCH(QString, destination);

    WindowServices env;
    env.folder.writeSettings(keys);
    env.folder.write(QStringLiteral("SAMPLE.TXT"), threeTemplates);
    KorvaneFRM window(env.services());
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::Shown);

    const bool toFile = destination == QLatin1String("GENERATE.TXT");
    if (toFile) {
        destination = env.folder.path(destination) + QStringLiteral(", plain lines");
    }
    const QString told = destination + QStringLiteral("\nWorking folder: ") + QDir::currentPath();
    QCOMPARE(control(window, "LBL_SyslogFile")->toolTip(), told);
    QCOMPARE(shown(window, "LBL_HostIP"), !toFile);
    if (!toFile) {
        QCOMPARE(caption(window, "LBL_HostIP"), QStringLiteral("Host IP : 127.0.0.1"));
        QCOMPARE(control(window, "LBL_HostIP")->toolTip(), told);
    }
}

void StartupTest::tellsWhatWasWrongWithTheSettingsFile_data()
{
    QTest::addColumn<bool>("unreadable"); // korvane.ini is a folder
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QString>("told"); // in one line of the panel's tooltip and of standard error

    QTest::newRow("a replaced value") << false
                                      << Keys{{"SyslogFile", "1"}, {"HostIP", "127.0.0.1"}, {"Protocol", "TPC"}}
                                      << "korvane.ini: Protocol \"TPC\" is not UDP, TCP, TLS or RELP; UDP written back";
    QTest::newRow("korvane.ini cannot be read") << true << Keys{} << "; the defaults are in force";
}

// Each repair, and why korvane.ini could not be read, on standard error and in the settings
// panel's tooltip; the window then runs on the defaults. (The lines themselves come from
// start-up.)
void StartupTest::tellsWhatWasWrongWithTheSettingsFile()
{
    QFETCH(bool, unreadable);
    QFETCH(Keys, keys);
    QFETCH(QString, told);

    WindowServices env;
    if (unreadable) {
        QVERIFY(QDir(env.folder.path(QStringLiteral("."))).mkdir(QStringLiteral("korvane.ini")));
    } else {
        env.folder.writeSettings(keys);
    }
    env.folder.write(QStringLiteral("SAMPLE.TXT"), threeTemplates);
    KorvaneFRM window(env.services());
    StderrCapture errors;
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::Shown);
    const QString stderrText = QString::fromLocal8Bit(errors.take());

    const QStringList lines = control(window, "FRM_Infos")->toolTip().split(QLatin1Char('\n'));
    QVERIFY2(std::any_of(lines.begin(), lines.end(), [&](const QString& line) { return line.contains(told); }),
             qPrintable(lines.join(QLatin1Char('|'))));
    for (const QString& line : lines) {
        QVERIFY2(line.contains(QLatin1String("korvane.ini")), qPrintable(line));
        QVERIFY2(stderrText.contains(QStringLiteral("korvane: ") + line + QLatin1Char('\n')), qPrintable(stderrText));
    }
    QVERIFY(!shown(window, "LBL_titre"));
    if (unreadable) {
        QCOMPARE(caption(window, "LBL_Delay"), QStringLiteral("Delay : 1 s"));
        QCOMPARE(caption(window, "LBL_SyslogFile"), QStringLiteral("Syslog File : No"));
    }
}

void StartupTest::placesTheWindowWhereItWas_data()
{
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QPoint>("place");

    QTest::newRow("one inch right, half an inch down")
        << Keys{{"PositionX", "1440"}, {"PositionY", "720"}} << QPoint(96, 48);
    QTest::newRow("partly off the top-left edge")
        << Keys{{"PositionX", "-120"}, {"PositionY", "-240"}} << QPoint(-8, -16);
    QTest::newRow("no stored place") << Keys{} << QPoint(0, 0);
    QTest::newRow("far away, not checked against the screen")
        << Keys{{"PositionX", "60000"}, {"PositionY", "30000"}} << QPoint(4000, 2000);
}

void StartupTest::placesTheWindowWhereItWas()
{
    QFETCH(Keys, keys);
    QFETCH(QPoint, place);

    WindowServices env;
    env.folder.writeSettings(keys);
    KorvaneFRM window(env.services());
    window.move(123, 45); // wherever the toolkit would have put it
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::Shown);
    QCOMPARE(window.pos(), place);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.pos(), place);
}

void StartupTest::asksBeforeReusingAnOutputFile_data()
{
    QTest::addColumn<MessageService::Answer>("answer");
    QTest::addColumn<QByteArray>("keptBeforeTheRun");

    QTest::newRow("yes adds to the old lines") << MessageService::Answer::Yes << QByteArray("old line\r\n");
    QTest::newRow("no starts a new file") << MessageService::Answer::No << QByteArray();
}

void StartupTest::asksBeforeReusingAnOutputFile()
{
    QFETCH(MessageService::Answer, answer);
    QFETCH(QByteArray, keptBeforeTheRun);

    WindowServices env;
    env.folder.writeSettings({{"Delay", "0.01"}, {"onetime", "1"}, {"RealLogFile", "1"}});
    env.folder.write(QStringLiteral("KORVANE.TXT"), "Dec  6 04:47:51 10.1.1.1 %PIX-6-199004: appended\r\n");
    env.folder.write(QStringLiteral("GENERATE.TXT"), "old line\r\n");
    env.messages.answers = {answer};
    KorvaneFRM window(env.services());
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::Shown);

    QCOMPARE(env.messages.calls.size(), 1);
    const FakeMessages::Call& question = env.messages.calls.first();
    QVERIFY(question.question);
    QCOMPARE(question.icon, MessageService::Icon::Information);
    QCOMPARE(question.title, QStringLiteral("No File"));
    QCOMPARE(question.text,
             QStringLiteral("The Generate.txt file exists.\r\n\r\nDo you want add the logs (Yes). If No, "
                            "a new file will be create."));
    QCOMPARE(env.folder.read(QStringLiteral("GENERATE.TXT")), keptBeforeTheRun);

    // A run's lines go after what was kept.
    QSignalSpy ended(&window, &KorvaneFRM::runEnded);
    QTest::mouseClick(window.transport()->playButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);
    QCOMPARE(env.folder.read(QStringLiteral("GENERATE.TXT")),
             keptBeforeTheRun + "Dec  6 04:47:51 10.1.1.1 %PIX-6-199004: appended\r\n");
}

void StartupTest::signalDuringAStartupBoxWritesNothingMore_data()
{
    QTest::addColumn<bool>("question"); // else the warning about an absent source
    QTest::newRow("append question") << true;
    QTest::newRow("absent source warning") << false;
}

void StartupTest::signalDuringAStartupBoxWritesNothingMore()
{
    QFETCH(bool, question);

    WindowServices env;
    if (question) {
        env.folder.writeSettings({{"SyslogFile", "0"}});
        env.folder.write(QStringLiteral("SAMPLE.TXT"), "%PIX-6-1 a\r\n");
        env.folder.write(QStringLiteral("GENERATE.TXT"), "old line\r\n");
        env.messages.answers = {MessageService::Answer::Interrupted};
    } else {
        env.folder.writeSettings({{"GenerationType", "-1"}});
        env.messages.notifyAnswer = MessageService::Answer::Interrupted;
    }
    QByteArray iniWhenAsked;
    env.messages.onCall = [&] { iniWhenAsked = env.folder.read(QStringLiteral("korvane.ini")); };
    KorvaneFRM window(env.services());
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::Interrupted);

    QCOMPARE(env.messages.calls.size(), 1);
    QCOMPARE(env.folder.read(QStringLiteral("korvane.ini")), iniWhenAsked); // no position stored
    if (question) {
        QCOMPARE(env.folder.read(QStringLiteral("GENERATE.TXT")), QByteArray("old line\r\n"));
    } else {
        QVERIFY(!env.folder.exists(QStringLiteral("GENERATE.TXT")));
    }
}

void StartupTest::createsAnAbsentOutputFileSilently()
{
    WindowServices env;
    env.folder.writeSettings({{"SyslogFile", "0"}});
    KorvaneFRM window(env.services());
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::Shown);

    QVERIFY(env.messages.calls.isEmpty());
    QVERIFY(env.folder.exists(QStringLiteral("GENERATE.TXT")));
    QCOMPARE(QFileInfo(env.folder.path(QStringLiteral("GENERATE.TXT"))).size(), 0);
    QVERIFY(outputOpen(window));
    QVERIFY(!shown(window, "LBL_titre"));
}

void StartupTest::reportsAnOutputFileThatCannotBeOpened_data()
{
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<MessageService::Answer>("answer");

    QTest::newRow("read-only file, append asked") << true << MessageService::Answer::Yes;
    QTest::newRow("read-only file, new file asked") << true << MessageService::Answer::No;
    QTest::newRow("absent file in a read-only folder") << false << MessageService::Answer::Yes;
}

void StartupTest::reportsAnOutputFileThatCannotBeOpened()
{
    QFETCH(bool, fileExists);
    QFETCH(MessageService::Answer, answer);

    WindowServices env;
    env.folder.writeSettings({{"Delay", "0.01"}, {"onetime", "1"}, {"GenerationType", "0"}, {"SyslogFile", "0"}});
    env.folder.write(QStringLiteral("SAMPLE.TXT"), threeTemplates);
    const QByteArray before = "kept as it was\r\n";
    if (fileExists) {
        env.folder.write(QStringLiteral("GENERATE.TXT"), before);
        QFile::setPermissions(env.folder.path(QStringLiteral("GENERATE.TXT")), QFile::ReadOwner | QFile::ReadGroup);
    } else {
        QFile::setPermissions(env.folder.path(QStringLiteral(".")), QFile::ReadOwner | QFile::ExeOwner);
    }
    env.messages.answers = {answer};

    KorvaneFRM window(env.services());
    StderrCapture errors;
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::Shown);
    const QByteArray stderrText = errors.take();

    QCOMPARE(env.messages.calls.size(), fileExists ? 1 : 0);
    QVERIFY(!outputOpen(window));
    QVERIFY(shown(window, "LBL_titre"));
    QCOMPARE(caption(window, "LBL_titre"), QStringLiteral("Unknown Error !!!"));
    const QString reason = QString::fromLocal8Bit(std::strerror(EACCES));
    const QString tip = control(window, "LBL_titre")->toolTip();
    QVERIFY2(tip.contains(QStringLiteral("GENERATE.TXT")) && tip.contains(reason), qPrintable(tip));
    QVERIFY2(QString::fromLocal8Bit(stderrText).contains(reason), stderrText.constData());

    // A run finds no open channel: it halts with the error instead of writing.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy ended(&window, &KorvaneFRM::runEnded);
    StderrCapture runErrors;
    QTest::mouseClick(window.transport()->playButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);
    QVERIFY(QString::fromLocal8Bit(runErrors.take()).contains(reason));
    QCOMPARE(caption(window, "LBL_titre"), QStringLiteral("Unknown Error !!!"));
    QVERIFY(control(window, "LBL_titre")->toolTip().contains(reason));
    QVERIFY(!window.transport()->playButton()->isEnabled());
    QCOMPARE(env.folder.exists(QStringLiteral("GENERATE.TXT")), fileExists);
    if (fileExists) {
        QCOMPARE(env.folder.read(QStringLiteral("GENERATE.TXT")), before);
    }
}

void StartupTest::endsWhenTheSourceToCountIsAbsent_data()
{
    QTest::addColumn<QByteArray>("realLogFile");
    QTest::addColumn<QString>("absent");
    QTest::addColumn<QString>("present");

    QTest::newRow("templates absent") << QByteArray("0") << "SAMPLE.TXT"
                                      << "KORVANE.TXT";
    QTest::newRow("real logs absent") << QByteArray("1") << "KORVANE.TXT"
                                      << "SAMPLE.TXT";
}

void StartupTest::endsWhenTheSourceToCountIsAbsent()
{
    QFETCH(QByteArray, realLogFile);
    QFETCH(QString, absent);
    QFETCH(QString, present);

    WindowServices env;
    env.folder.writeSettings({{"RealLogFile", realLogFile}, {"GenerationType", "-1"}});
    env.folder.write(present, threeTemplates);
    KorvaneFRM window(env.services());
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::SourceMissing);

    QCOMPARE(env.messages.calls.size(), 1);
    const FakeMessages::Call& warning = env.messages.calls.first();
    QVERIFY(!warning.question);
    QCOMPARE(warning.icon, MessageService::Icon::Warning);
    QCOMPARE(warning.title, QStringLiteral("No File"));
    QCOMPARE(warning.text, QStringLiteral("Warning: The %1 file doesn't exists.").arg(absent));
    // The program ends there: no output file, the run told to quit, the place stored as at any exit.
    QVERIFY(!env.folder.exists(QStringLiteral("GENERATE.TXT")));
    QCOMPARE(window.flags().QuitRequested, true);
    QCOMPARE(env.folder.setting("PositionX"), QStringLiteral("0"));
}

void StartupTest::reportsASourceThatCannotBeCounted()
{
    WindowServices env;
    env.folder.writeSettings({{"GenerationType", "-1"}});
    QVERIFY(QDir(env.folder.path(QStringLiteral("."))).mkdir(QStringLiteral("SAMPLE.TXT")));
    KorvaneFRM window(env.services());
    StderrCapture errors;
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::Shown);
    QVERIFY(errors.take().contains("SAMPLE.TXT"));

    // Present but unreadable is not "absent": the window is shown with the error in its title.
    QVERIFY(env.messages.calls.isEmpty());
    QCOMPARE(caption(window, "LBL_titre"), QStringLiteral("Unknown Error !!!"));
    QVERIFY(shown(window, "LBL_titre"));
    const QString tip = control(window, "LBL_titre")->toolTip();
    QVERIFY2(tip.contains(QStringLiteral("SAMPLE.TXT")) && tip.contains(QString::fromLocal8Bit(std::strerror(EISDIR))),
             qPrintable(tip));
    QVERIFY(!outputOpen(window));
    QCOMPARE(window.flags().QuitRequested, false);
}

void StartupTest::reportsAnUnusableReceiver()
{
    WindowServices env;
    env.folder.writeSettings({{"Delay", "0.01"},
                              {"onetime", "1"},
                              {"SyslogFile", "1"},
                              {"HostIP", "300.1.2.3"},
                              {"UDP_Port_Syslog", "514"}});
    env.folder.write(QStringLiteral("SAMPLE.TXT"), threeTemplates);
    KorvaneFRM window(env.services());
    StderrCapture errors;
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::Shown);
    QVERIFY(errors.take().contains("300.1.2.3"));

    QCOMPARE(caption(window, "LBL_HostIP"), QStringLiteral("Host IP : 300.1.2.3"));
    QCOMPARE(caption(window, "LBL_titre"), QStringLiteral("Unknown Error !!!"));
    QVERIFY(control(window, "LBL_titre")->toolTip().contains(QStringLiteral("300.1.2.3")));
    QVERIFY(!outputOpen(window));

    // A run has nowhere to send: it halts with the error.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy ended(&window, &KorvaneFRM::runEnded);
    StderrCapture runErrors;
    QTest::mouseClick(window.transport()->playButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);
    QCOMPARE(caption(window, "LBL_titre"), QStringLiteral("Unknown Error !!!"));
    QVERIFY(!window.transport()->playButton()->isEnabled());
    QVERIFY(!env.folder.exists(QStringLiteral("GENERATE.TXT")));
}

// FRM_Winsock for a TCP output: amber while the connection is being made, red while it is up,
// amber again when the receiver goes away; the tooltip says which.
void StartupTest::tcpLampFollowsTheConnection()
{
    // A port the settings accept (up to 32000).
    QTcpServer receiver;
    const int first = 20000 + int(QCoreApplication::applicationPid() % 10000);
    for (int port = first; port < first + 2000 && !receiver.isListening(); ++port) {
        receiver.listen(QHostAddress::LocalHost, quint16(port > 32000 ? port - 12000 : port));
    }
    QVERIFY(receiver.isListening());
    const QString where = QStringLiteral("127.0.0.1:%1").arg(receiver.serverPort());
    WindowServices env;
    env.folder.writeSettings({{"SyslogFile", "1"},
                              {"Protocol", "TCP"},
                              {"HostIP", "127.0.0.1"},
                              {"UDP_Port_Syslog", QByteArray::number(receiver.serverPort())}});
    env.folder.write(QStringLiteral("SAMPLE.TXT"), threeTemplates);
    KorvaneFRM window(env.services());
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::Shown);
    const auto* lamp = control<StatusLamp>(window, "FRM_Winsock");
    QVERIFY(lamp);
    const QColor amber(255, 160, 0);
    QCOMPARE(lamp->colour(), amber);
    QCOMPARE(lamp->toolTip(), QStringLiteral("connecting to ") + where);

    QTRY_COMPARE(lamp->colour(), QColor(255, 0, 0));
    QCOMPARE(lamp->toolTip(), QStringLiteral("connected to ") + where);

    QTRY_VERIFY(receiver.hasPendingConnections());
    QTcpSocket* accepted = receiver.nextPendingConnection();
    receiver.close(); // the attempts that follow are refused
    accepted->close();
    QTRY_COMPARE(lamp->colour(), amber);
    QVERIFY2(lamp->toolTip().contains(QStringLiteral("trying again")), qPrintable(lamp->toolTip()));
}

void StartupTest::refusesASecondCopyWithoutTouchingTheSettings()
{
    WindowServices env;
    // Keys the second copy would repair if it read them.
    env.folder.writeSettings({{"PositionX", "1440"}, {"PositionY", "720"}, {"Delay", "-3"}});
    KorvaneFRM first(env.services());
    QCOMPARE(first.load(), KorvaneFRM::LoadOutcome::Shown);
    first.show();
    QVERIFY(QTest::qWaitForWindowExposed(&first));
    const QByteArray settingsBefore = env.folder.read(QStringLiteral("korvane.ini"));
    const QByteArray outputBefore = env.folder.read(QStringLiteral("GENERATE.TXT"));

    {
        FakeMessages messages;
        SingleInstanceLock secondLock(env.folder.lockPath());
        KorvaneServices services = env.services();
        KorvaneServices second{messages,           services.profile,        secondLock,      services.random,
                               services.wallClock, services.monotonicClock, services.desktop};
        KorvaneFRM copy(second);
        QCOMPARE(copy.load(), KorvaneFRM::LoadOutcome::Refused);
        QCOMPARE(messages.calls.size(), 1);
        QCOMPARE(messages.calls.first().icon, MessageService::Icon::Critical);
        QCOMPARE(messages.calls.first().title, QStringLiteral("Error"));
        QCOMPARE(messages.calls.first().text, QStringLiteral("Software already loaded."));
        QVERIFY(!copy.isVisible());
        QCOMPARE(env.folder.read(QStringLiteral("korvane.ini")), settingsBefore);
    }

    // The copy has gone without a trace; the first goes on undisturbed and still holds the lock.
    QCOMPARE(env.folder.read(QStringLiteral("korvane.ini")), settingsBefore);
    QCOMPARE(env.folder.read(QStringLiteral("GENERATE.TXT")), outputBefore);
    QVERIFY(first.isVisible());
    QVERIFY(outputOpen(first));
    QVERIFY(env.messages.calls.isEmpty());
    SingleInstanceLock third(env.folder.lockPath());
    QVERIFY(!third.tryAcquire());
}

void StartupTest::firstStartWritesTheDefaultSettings()
{
    // What the settings layer alone writes into an empty folder, read in start-up's order.
    QByteArray expected;
    {
        WorkFolder reference;
        IniProfileStore store;
        SettingsLoader loader(store);
        Settings settings;
        loader.readPosition("PositionX");
        loader.readPosition("PositionY");
        loader.loadRunKeys(settings);
        loader.loadTemplateKeys(settings);
        loader.loadReceiverKeys(settings);
        expected = reference.read(QStringLiteral("korvane.ini"));
    }
    QVERIFY(expected.contains("Delay=1"));

    WindowServices env;
    QVERIFY(!env.folder.exists(QStringLiteral("korvane.ini")));
    KorvaneFRM window(env.services());
    QCOMPARE(window.load(), KorvaneFRM::LoadOutcome::Shown);
    QCOMPARE(env.folder.read(QStringLiteral("korvane.ini")), expected);
    QVERIFY(env.messages.calls.isEmpty());
    QCOMPARE(window.settings().Delay, 1.0);
    QCOMPARE(window.settings().FirewallName, std::string("Pix-Inside-Demo"));
}

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
