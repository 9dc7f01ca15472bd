// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The key descriptions of README.md, the help page and the manual pages are made from
// docs/keys.txt, and that file lists exactly the keys start-up reads. Run with --update (or
// KORVANE_UPDATE_DOCS=1) to rewrite the documents' blocks from docs/keys.txt.

#include "keydoc.h"
#include "session/startup.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>

#include <map>
#include <set>
#include <string>
#include <vector>

using namespace korvane;
using namespace korvane::docs;

namespace {

bool g_update = false;

QString sourcePath(const QString& relative)
{
    QString root = qEnvironmentVariable("KORVANE_SOURCE_DIR");
    if (root.isEmpty()) {
        root = QStringLiteral(KORVANE_SOURCE_TREE);
    }
    return root + QLatin1Char('/') + relative;
}

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

KeyList keyList()
{
    const QString text = readText(sourcePath(QStringLiteral("docs/keys.txt")));
    KeyList list = parseKeyList(text);
    if (text.isEmpty()) {
        list.error = QStringLiteral("docs/keys.txt cannot be read");
    }
    return list;
}

// Remembers every key read; holds the values given and takes the repairs.
class RecordingStore final : public ProfileStore
{
public:
    explicit RecordingStore(std::map<std::string, std::string, std::less<>> values) : m_values(std::move(values)) {}

    std::string read(std::string_view key) override
    {
        m_read.emplace(key);
        const auto found = m_values.find(key);
        return found == m_values.end() ? std::string() : found->second;
    }
    bool write(std::string_view key, std::string_view value) override
    {
        m_values[std::string(key)] = value;
        return true;
    }

    const std::set<std::string>& keysRead() const { return m_read; }

private:
    std::map<std::string, std::string, std::less<>> m_values;
    std::set<std::string> m_read;
};

} // namespace

class TestKeyDocs : public QObject
{
    Q_OBJECT

private slots:
    void documentShowsTheKeysOfTheKeyList_data();
    void documentShowsTheKeysOfTheKeyList();
    void keyListHoldsExactlyTheKeysStartUpReads();
};

void TestKeyDocs::documentShowsTheKeysOfTheKeyList_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("block");
    QTest::addColumn<QStringList>("groups");
    QTest::addColumn<bool>("windowKeys");

    const QStringList classic{QStringLiteral("classic")};
    const QStringList optional{QStringLiteral("output"), QStringLiteral("replay")};
    const auto row = [](const char* name, const char* document, Format format, const char* block,
                        const QStringList& groups, bool windowKeys) {
        QTest::newRow(name) << QString::fromLatin1(document) << static_cast<int>(format) << QString::fromLatin1(block)
                            << groups << windowKeys;
    };
    row("README lists the classic keys", "README.md", Format::Markdown, "classic", classic, true);
    row("README lists the optional keys", "README.md", Format::Markdown, "optional", optional, true);
    row("help lists the classic keys", "app/help/korvane.html", Format::Html, "classic", classic, true);
    row("help lists the output keys", "app/help/korvane.html", Format::Html, "output", {QStringLiteral("output")},
        true);
    row("help lists the replay keys", "app/help/korvane.html", Format::Html, "replay", {QStringLiteral("replay")},
        true);
    row("korvane.1 lists the classic keys", "docs/man/korvane.1", Format::Man, "classic", classic, true);
    row("korvane.1 lists the optional keys", "docs/man/korvane.1", Format::Man, "optional", optional, true);
    row("korvane-cli.1 lists the classic keys but the window's", "docs/man/korvane-cli.1", Format::Man, "classic",
        classic, false);
    row("korvane-cli.1 lists the optional keys", "docs/man/korvane-cli.1", Format::Man, "optional", optional, true);
}

void TestKeyDocs::documentShowsTheKeysOfTheKeyList()
{
    QFETCH(QString, document);
    QFETCH(int, format);
    QFETCH(QString, block);
    QFETCH(QStringList, groups);
    QFETCH(bool, windowKeys);
    const KeyList list = keyList();
    QVERIFY2(list.error.isEmpty(), qPrintable(QStringLiteral("docs/keys.txt: ") + list.error));
    const Format f = static_cast<Format>(format);
    const QString expected = renderBlock(f, list.entries, {block, groups, windowKeys});

    const QString path = sourcePath(document);
    const QString text = readText(path);
    const QString begin = beginMarker(f, block) + QLatin1Char('\n');
    const QString end = endMarker(f, block) + QLatin1Char('\n');
    const qsizetype from = text.indexOf(begin);
    const qsizetype to = from < 0 ? -1 : text.indexOf(end, from);
    QVERIFY2(from >= 0 && to >= 0, qPrintable(document + QStringLiteral(" lacks the lines ") + begin + end));
    const qsizetype start = from + begin.size();
    const QString actual = text.mid(start, to - start);
    if (actual == expected) {
        return;
    }
    if (g_update) {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
        file.write((text.left(start) + expected + text.mid(to)).toUtf8());
        qInfo("%s: keys %s rewritten from docs/keys.txt", qPrintable(document), qPrintable(block));
        return;
    }
    const QStringList is = actual.split(QLatin1Char('\n'));
    const QStringList made = expected.split(QLatin1Char('\n'));
    qsizetype line = 0;
    while (line < is.size() && line < made.size() && is[line] == made[line]) {
        ++line;
    }
    QFAIL(qPrintable(QStringLiteral("%1, keys %2, line %3 of the block:\n  is     \"%4\"\n  should \"%5\"\n"
                                    "Edit docs/keys.txt, not the document, and run docs_keys --update.")
                         .arg(document, block)
                         .arg(line + 1)
                         .arg(is.value(line), made.value(line))));
}

void TestKeyDocs::keyListHoldsExactlyTheKeysStartUpReads()
{
    const KeyList list = keyList();
    QVERIFY2(list.error.isEmpty(), qPrintable(QStringLiteral("docs/keys.txt: ") + list.error));
    std::set<std::string> described;
    for (const KeyEntry& entry : list.entries) {
        for (const QString& key : entry.keys) {
            described.insert(key.toStdString());
        }
    }
    // Values under which start-up goes all the way and reads every key it can: the receiver's
    // keys, the transport's, TLS's and a replay's.
    RecordingStore store({{"SyslogFile", "1"},
                          {"Protocol", "TLS"},
                          {"RealLogFile", "1"},
                          {"RemoveHeader", "1"},
                          {"ReplayTiming", "1"},
                          {"ReplayRestamp", "1"}});
    const StartupResult result = runStartup(store, nullptr, true, '.');
    QCOMPARE(result.reached, StartupResult::Stage::ReceiverKeys);
    QVERIFY(result.failure.isEmpty());

    std::vector<std::string> undescribed;
    std::vector<std::string> unread;
    std::ranges::set_difference(store.keysRead(), described, std::back_inserter(undescribed));
    std::ranges::set_difference(described, store.keysRead(), std::back_inserter(unread));
    const auto joined = [](const std::vector<std::string>& keys) {
        QStringList names;
        for (const std::string& key : keys) {
            names << QString::fromStdString(key);
        }
        return names.join(QStringLiteral(", "));
    };
    QVERIFY2(undescribed.empty(), qPrintable(QStringLiteral("read but not in docs/keys.txt: ") + joined(undescribed)));
    QVERIFY2(unread.empty(), qPrintable(QStringLiteral("in docs/keys.txt but never read: ") + joined(unread)));
}

int main(int argc, char** argv)
{
    // --update is this program's own; Qt Test would refuse it.
    std::vector<char*> arguments;
    for (int i = 0; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--update") {
            g_update = true;
        } else {
            arguments.push_back(argv[i]);
        }
    }
    g_update = g_update || qEnvironmentVariable("KORVANE_UPDATE_DOCS") == QStringLiteral("1");
    int count = static_cast<int>(arguments.size());
    QCoreApplication app(count, arguments.data());
    TestKeyDocs test;
    return QTest::qExec(&test, count, arguments.data());
}

#include "tst_keydocs.moc"
