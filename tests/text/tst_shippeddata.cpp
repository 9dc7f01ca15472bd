#include "keytable.h"
#include "linecomposer.h"
#include "profile.h"
#include "scriptedrandomsource.h"
#include "templaterewriter.h"

#include <QTest>

#include <array>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace korvane;

namespace {

std::string readFile(const char* name)
{
    const std::string path = qEnvironmentVariable("KORVANE_SOURCE_DIR").toStdString() + "/data/" + name;
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of a CR LF file, without their line ends.
std::vector<std::string> crLfLines(const std::string& content)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = content.find("\r\n"); end != std::string::npos; end = content.find("\r\n", start)) {
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    if (start < content.size()) {
        lines.push_back(content.substr(start));
    }
    return lines;
}

// The severity digit after "PIX-", or 0 when the line has none.
int severityOf(const std::string& line)
{
    const std::size_t at = line.find("PIX-");
    if (at == std::string::npos || at + 4 >= line.size() || line[at + 4] < '1' || line[at + 4] > '7') {
        return 0;
    }
    return line[at + 4] - '0';
}

RewriteValues exampleValues()
{
    RewriteValues values;
    values.srcIp = {"194.98.65.10", "193.10.22.23", "193.50.60.70", "195.60.61.62", "193.99.98.99"};
    values.dstIp = {"10.10.12.12", "10.10.12.20", "10.10.12.30", "10.10.12.40", "10.11.11.1"};
    values.gatewayIp = "10.11.11.11";
    values.userName = "PIX_User";
    values.sessionNum = "10";
    values.elapsedTime = "10";
    return values;
}

// Seconds since the start of the month of a classic syslog stamp "Mmm dd hh:mm:ss".
int stampSeconds(const std::string& line)
{
    std::istringstream in(line.substr(3, 12));
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    char colon = 0;
    in >> day >> hour >> colon >> minute >> colon >> second;
    return ((day * 24 + hour) * 60 + minute) * 60 + second;
}

} // namespace

class ShippedDataTest : public QObject
{
    Q_OBJECT

private slots:
    void filesUseCrLfLineEnds_data();
    void filesUseCrLfLineEnds();
    void templatesCoverEverySeverity();
    void templatesCoverEveryRule();
    void everyTemplateIsFullyRewritten_data();
    void everyTemplateIsFullyRewritten();
    void realLogCoversEverySeverity();
    void realLogHeadersAreCutByTheExampleMarker();
    void realLogTimestampsIncrease();
    void exampleSettingsHoldEveryKey();
};

void ShippedDataTest::filesUseCrLfLineEnds_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("templates") << QByteArray("SAMPLE.TXT");
    QTest::newRow("real logs") << QByteArray("KORVANE.TXT");
    QTest::newRow("example settings") << QByteArray("korvane.ini");
}

void ShippedDataTest::filesUseCrLfLineEnds()
{
    QFETCH(QByteArray, name);
    const std::string content = readFile(name.constData());
    QVERIFY2(!content.empty(), name.constData());
    QVERIFY(content.ends_with("\r\n"));
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (content[i] == '\n' || content[i] == '\r') {
            QVERIFY2(content.compare(i > 0 && content[i] == '\n' ? i - 1 : i, 2, "\r\n") == 0,
                     ("bare line end at byte " + std::to_string(i)).c_str());
        }
    }
}

void ShippedDataTest::templatesCoverEverySeverity()
{
    const std::vector<std::string> templates = crLfLines(readFile("SAMPLE.TXT"));
    QVERIFY(templates.size() >= 80);
    std::set<int> severities;
    for (const std::string& line : templates) {
        QVERIFY2(line.starts_with("%PIX-"), line.c_str());
        severities.insert(severityOf(line));
    }
    QCOMPARE(severities, (std::set<int>{1, 2, 3, 4, 5, 6, 7}));
}

void ShippedDataTest::templatesCoverEveryRule()
{
    const std::string content = readFile("SAMPLE.TXT");
    const std::array searched{"faddr IP_addr",
                              "from IP_addr",
                              "src IP_addr",
                              "SRC IP_addr",
                              "SRC=IP_addr",
                              "for IP_addr",
                              "outside:IP_addr",
                              "incoming IP_addr",
                              "(IP_addr/",
                              "IP_addr)",
                              "gaddr IP_addr",
                              "laddr IP_addr",
                              "to IP_addr",
                              "dest IP_addr",
                              "DEST IP_addr",
                              "DEST=IP_addr",
                              "server IP_addr",
                              "static IP_addr",
                              "inside:IP_addr",
                              "host IP_addr",
                              "-IP_addr/",
                              "/port",
                              "%d",
                              "'user'",
                              "session_num",
                              "num_seconds",
                              " dec"};
    for (const char* text : searched) {
        QVERIFY2(content.find(text) != std::string::npos, text);
    }
    // A bare "IP_addr/" that no earlier rule takes.
    bool bareSlash = false;
    bool fourPorts = false;
    bool twoNumbers = false;
    for (const std::string& line : crLfLines(content)) {
        bareSlash = bareSlash || line.find(" (IP_addr/port) to inside:IP_addr/port (IP_addr/") != std::string::npos;
        std::size_t ports = 0;
        std::size_t numbers = 0;
        for (std::size_t at = line.find("/port"); at != std::string::npos; at = line.find("/port", at + 1)) {
            ++ports;
        }
        for (std::size_t at = line.find("%d"); at != std::string::npos; at = line.find("%d", at + 1)) {
            ++numbers;
        }
        fourPorts = fourPorts || ports == 4;
        twoNumbers = twoNumbers || numbers == 2;
    }
    QVERIFY(bareSlash);
    QVERIFY(fourPorts);
    QVERIFY(twoNumbers);
}

void ShippedDataTest::everyTemplateIsFullyRewritten_data()
{
    QTest::addColumn<QByteArray>("line");
    const std::vector<std::string> templates = crLfLines(readFile("SAMPLE.TXT"));
    QVERIFY(!templates.empty());
    for (std::size_t i = 0; i < templates.size(); ++i) {
        const std::string tag = "line " + std::to_string(i + 1) + " " + templates[i].substr(0, 13);
        QTest::newRow(tag.c_str()) << QByteArray::fromStdString(templates[i]);
    }
}

void ShippedDataTest::everyTemplateIsFullyRewritten()
{
    QFETCH(QByteArray, line);
    const RewriteValues values = exampleValues();
    // The lowest and the highest draws, so that no template passes by luck of its numbers.
    for (const double r : {0.0, 0.999999}) {
        ScriptedRandomSource random({r});
        const std::string out = rewriteTemplate(line.toStdString(), values, random);
        for (const char* placeholder : {"IP_addr", "/port", "%d", "'user'", "session_num", "num_seconds", "dec"}) {
            QVERIFY2(out.find(placeholder) == std::string::npos, (placeholder + (" left in: " + out)).c_str());
        }
        QVERIFY(out.starts_with("%PIX-"));
    }
}

void ShippedDataTest::realLogCoversEverySeverity()
{
    const std::vector<std::string> lines = crLfLines(readFile("KORVANE.TXT"));
    QVERIFY(lines.size() >= 300);
    std::set<int> severities;
    for (const std::string& line : lines) {
        QVERIFY2(severityOf(line) != 0, line.c_str());
        severities.insert(severityOf(line));
    }
    QCOMPARE(severities, (std::set<int>{1, 2, 3, 4, 5, 6, 7}));
}

void ShippedDataTest::realLogHeadersAreCutByTheExampleMarker()
{
    const std::string settings = readFile("korvane.ini");
    const std::string marker = profileRead(settings, "Settings", "HeaderString");
    QCOMPARE(marker, std::string(" %PIX"));
    for (const std::string& line : crLfLines(readFile("KORVANE.TXT"))) {
        const std::string cut = removeHeader(line, marker);
        QVERIFY2(cut.starts_with("%PIX-") && cut.size() < line.size(), line.c_str());
        QVERIFY2(line.ends_with(cut), line.c_str());
    }
}

void ShippedDataTest::realLogTimestampsIncrease()
{
    int previous = 0;
    for (const std::string& line : crLfLines(readFile("KORVANE.TXT"))) {
        QVERIFY2(line.starts_with("Dec "), line.c_str());
        const int seconds = stampSeconds(line);
        QVERIFY2(seconds >= previous && seconds > 0, line.c_str());
        previous = seconds;
    }
}

void ShippedDataTest::exampleSettingsHoldEveryKey()
{
    const std::string settings = readFile("korvane.ini");
    for (const KeyRow& key : keyTable()) {
        const std::string value = profileRead(settings, "Settings", key.name);
        QVERIFY2(!value.empty(), std::string(key.name).c_str());
        // Every key that has a default is shipped at it; the others are examples.
        if (key.test != Test::Anything) {
            QCOMPARE(value, std::string(key.replacement));
        }
    }
}

QTEST_APPLESS_MAIN(ShippedDataTest)
#include "tst_shippeddata.moc"
