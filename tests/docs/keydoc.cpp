// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "keydoc.h"

#include <QMap>
#include <QSet>

namespace korvane::docs {

namespace {

const QStringList kFields{QStringLiteral("Keys"),        QStringLiteral("Group"),    QStringLiteral("Scope"),
                          QStringLiteral("Meaning"),     QStringLiteral("Accepted"), QStringLiteral("Default"),
                          QStringLiteral("Default-each")};
const QStringList kGroups{QStringLiteral("classic"), QStringLiteral("output"), QStringLiteral("replay")};

// A record's fields, or why it is not a record.
QString entryFrom(const QMap<QString, QString>& fields, int line, KeyEntry& entry)
{
    const auto where = [line](const QString& why) {
        return QStringLiteral("record ending at line %1: %2").arg(line).arg(why);
    };
    for (const QString& name :
         {QStringLiteral("Keys"), QStringLiteral("Group"), QStringLiteral("Meaning"), QStringLiteral("Accepted")}) {
        if (fields.value(name).isEmpty()) {
            return where(QStringLiteral("no %1").arg(name));
        }
    }
    entry.keys = fields.value(QStringLiteral("Keys")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    entry.group = fields.value(QStringLiteral("Group"));
    if (!kGroups.contains(entry.group)) {
        return where(QStringLiteral("Group is not one of %1").arg(kGroups.join(QStringLiteral(", "))));
    }
    const QString scope = fields.value(QStringLiteral("Scope"));
    if (!scope.isEmpty() && scope != QStringLiteral("window")) {
        return where(QStringLiteral("Scope is not window"));
    }
    entry.windowOnly = !scope.isEmpty();
    entry.meaning = fields.value(QStringLiteral("Meaning"));
    entry.accepted = fields.value(QStringLiteral("Accepted"));
    entry.defaultValue = fields.value(QStringLiteral("Default"));
    entry.defaults = fields.value(QStringLiteral("Default-each")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (entry.defaultValue.isEmpty() == entry.defaults.isEmpty()) {
        return where(QStringLiteral("needs either Default or Default-each"));
    }
    if (!entry.defaults.isEmpty() && entry.defaults.size() != entry.keys.size()) {
        return where(
            QStringLiteral("Default-each has %1 values for %2 keys").arg(entry.defaults.size()).arg(entry.keys.size()));
    }
    return {};
}

// Text with `code` spans, as pieces: even indexes plain, odd ones code.
QStringList pieces(const QString& text)
{
    return text.split(QLatin1Char('`'));
}

QString markdown(const QString& text)
{
    QString out;
    const QStringList parts = pieces(text);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QString part = parts[i];
        part.replace(QLatin1Char('|'), QStringLiteral("\\|")); // a bar would end the table cell
        out += i % 2 ? QLatin1Char('`') + part + QLatin1Char('`') : part;
    }
    return out;
}

QString htmlEscaped(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('&')) {
            out += QStringLiteral("&amp;");
        } else if (c == QLatin1Char('<')) {
            out += QStringLiteral("&lt;");
        } else if (c == QLatin1Char('>')) {
            out += QStringLiteral("&gt;");
        } else if (c.unicode() > 0x7f) {
            out += QStringLiteral("&#%1;").arg(c.unicode()); // the page reads the same in any encoding
        } else {
            out += c;
        }
    }
    return out;
}

QString html(const QString& text)
{
    QString out;
    const QStringList parts = pieces(text);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        out += i % 2 ? QStringLiteral("<code>%1</code>").arg(htmlEscaped(parts[i])) : htmlEscaped(parts[i]);
    }
    return out;
}

// Plain text for roff: backslashes and the few non-ASCII characters as escapes, and a minus
// (a "-" before a digit, or any "-" in code) as a minus rather than a hyphen.
QString roffEscaped(const QString& text, bool code)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool beforeDigit = i + 1 < text.size() && text[i + 1].isDigit();
        const bool wordStart = i == 0 || text[i - 1] == QLatin1Char(' ') || text[i - 1] == QLatin1Char('(');
        if (c == QLatin1Char('\\')) {
            out += QStringLiteral("\\e");
        } else if (c == QLatin1Char('-') && (code || (beforeDigit && wordStart))) {
            out += QStringLiteral("\\-");
        } else if (c == QChar(0x00d7)) {
            out += QStringLiteral("\\(mu");
        } else if (c == QChar(0x2026)) {
            out += QStringLiteral("\\&...");
        } else {
            out += c;
        }
    }
    return out;
}

QString roff(const QString& text)
{
    QString out;
    const QStringList parts = pieces(text);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QString part = roffEscaped(parts[i], i % 2 == 1);
        if (i % 2 && part.size() < 24) {
            part.replace(QLatin1Char(' '), QStringLiteral("\\ ")); // a short code span is not broken
        }
        out += i % 2 ? QStringLiteral("\\fB%1\\fR").arg(part) : part;
    }
    return out;
}

// A roff text line: never taken for a request, and ended as a sentence.
QString roffSentence(QString text)
{
    if (!text.isEmpty() && text[0].isLower()) {
        text[0] = text[0].toUpper();
    }
    if (!text.endsWith(QLatin1Char('.'))) {
        text += QLatin1Char('.');
    }
    if (text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char('\''))) {
        text.prepend(QStringLiteral("\\&"));
    }
    return text + QLatin1Char('\n');
}

// The names of an entry's keys as a reader takes them in: "A", "A, B", or "A … E".
QString keyNames(const KeyEntry& entry, const QString& open, const QString& close, const QString& through)
{
    QStringList named;
    for (const QString& key : entry.keys) {
        named << open + key + close;
    }
    if (named.size() > 2) {
        return named.first() + through + named.last();
    }
    return named.join(QStringLiteral(", "));
}

// Lines of HTML at most `width` wide, broken at blanks outside tags.
QString wrappedHtml(const QString& line, qsizetype width = 118)
{
    QStringList words;
    QString word;
    bool inTag = false;
    for (const QChar c : line) {
        if (c == QLatin1Char('<')) {
            inTag = true;
        } else if (c == QLatin1Char('>')) {
            inTag = false;
        }
        if (c == QLatin1Char(' ') && !inTag) {
            words << word;
            word.clear();
        } else {
            word += c;
        }
    }
    words << word;
    QStringList lines;
    QString current;
    for (const QString& w : words) {
        if (current.isEmpty()) {
            current = w;
        } else if (current.size() + 1 + w.size() <= width) {
            current += QLatin1Char(' ') + w;
        } else {
            lines << current;
            current = w;
        }
    }
    lines << current;
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString markdownBlock(const QList<KeyEntry>& entries)
{
    QString out = QStringLiteral("| Key | Meaning | Accepted | Default |\n|---|---|---|---|\n");
    for (const KeyEntry& e : entries) {
        const QString defaults =
            e.defaults.isEmpty() ? markdown(e.defaultValue) : e.defaults.join(QStringLiteral(", "));
        out += QStringLiteral("| %1 | %2 | %3 | %4 |\n")
                   .arg(keyNames(e, QStringLiteral("`"), QStringLiteral("`"), QStringLiteral(" … ")),
                        markdown(e.meaning), markdown(e.accepted), defaults);
    }
    return out;
}

QString htmlBlock(const QList<KeyEntry>& entries)
{
    QString out = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\">\n"
                                 "<tr><th>Key</th><th>Meaning</th><th>Accepted</th><th>Default</th></tr>\n");
    for (const KeyEntry& e : entries) {
        if (e.defaults.isEmpty()) {
            out += wrappedHtml(
                QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td></tr>")
                    .arg(keyNames(e, QStringLiteral("<code>"), QStringLiteral("</code>"), QStringLiteral(" &#8230; ")),
                         html(e.meaning), html(e.accepted), html(e.defaultValue)));
            continue;
        }
        // One row per key with its own default; the meaning and the test span them all.
        const QString span = QStringLiteral(" rowspan=\"%1\"").arg(e.keys.size());
        out += wrappedHtml(QStringLiteral("<tr><td><code>%1</code></td><td%2>%3</td><td%2>%4</td><td>%5</td></tr>")
                               .arg(e.keys.first(), span, html(e.meaning), html(e.accepted), html(e.defaults.first())));
        for (qsizetype i = 1; i < e.keys.size(); ++i) {
            out += QStringLiteral("<tr><td><code>%1</code></td><td>%2</td></tr>\n").arg(e.keys[i], html(e.defaults[i]));
        }
    }
    return out + QStringLiteral("</table>\n");
}

QString manBlock(const QList<KeyEntry>& entries)
{
    QString out;
    for (const KeyEntry& e : entries) {
        const QString defaults = e.defaults.isEmpty() ? roff(e.defaultValue) : e.defaults.join(QStringLiteral(", "));
        out += QStringLiteral(".TP\n");
        out += keyNames(e, QStringLiteral("\\fB"), QStringLiteral("\\fR"), QStringLiteral(" to ")) + QLatin1Char('\n');
        out += roffSentence(roff(e.meaning));
        out += roffSentence(QStringLiteral("Accepted: ") + roff(e.accepted));
        out += roffSentence(QStringLiteral("Default: ") + defaults);
    }
    return out;
}

QString markerComment(Format format, const QString& text)
{
    return format == Format::Man ? QStringLiteral(".\\\" %1").arg(text) : QStringLiteral("<!-- %1 -->").arg(text);
}

} // namespace

KeyList parseKeyList(const QString& text)
{
    KeyList list;
    QMap<QString, QString> fields;
    QString last; // the field a continuation line goes on with
    QSet<QString> seen;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i <= lines.size() && list.error.isEmpty(); ++i) {
        const QString line = i < lines.size() ? lines[i] : QString();
        const int number = static_cast<int>(i + 1);
        if (line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.trimmed().isEmpty()) {
            if (!fields.isEmpty()) {
                KeyEntry entry;
                list.error = entryFrom(fields, number - 1, entry);
                for (const QString& key : entry.keys) {
                    if (seen.contains(key) && list.error.isEmpty()) {
                        list.error = QStringLiteral("line %1: %2 is described twice").arg(number - 1).arg(key);
                    }
                    seen.insert(key);
                }
                list.entries << entry;
            }
            fields.clear();
            last.clear();
            continue;
        }
        if (line[0] == QLatin1Char(' ') || line[0] == QLatin1Char('\t')) {
            if (last.isEmpty()) {
                list.error = QStringLiteral("line %1: goes on with no field").arg(number);
            } else {
                fields[last] += QLatin1Char(' ') + line.trimmed();
            }
            continue;
        }
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        const QString name = line.left(colon);
        if (colon < 1 || !kFields.contains(name) || fields.contains(name)) {
            list.error = QStringLiteral("line %1: not a field of its own: %2").arg(number).arg(line);
            continue;
        }
        fields[name] = line.mid(colon + 1).trimmed();
        last = name;
    }
    return list;
}

QString renderBlock(Format format, const QList<KeyEntry>& entries, const BlockSpec& block)
{
    QList<KeyEntry> shown;
    for (const KeyEntry& e : entries) {
        if (block.groups.contains(e.group) && (block.windowKeys || !e.windowOnly)) {
            shown << e;
        }
    }
    switch (format) {
    case Format::Markdown:
        return markdownBlock(shown);
    case Format::Html:
        return htmlBlock(shown);
    case Format::Man:
        break;
    }
    return manBlock(shown);
}

QString beginMarker(Format format, const QString& name)
{
    return markerComment(format,
                         QStringLiteral("keys %1: made from docs/keys.txt, rewrite with docs_keys --update").arg(name));
}

QString endMarker(Format format, const QString& name)
{
    return markerComment(format, QStringLiteral("end of keys %1").arg(name));
}

} // namespace korvane::docs
