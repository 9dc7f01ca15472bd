// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/outputbox.h"

#include "platform/displaytext.h"

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextDocument>

#include <algorithm>

namespace korvane {

OutputBox::OutputBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setMaximumBlockCount(kMaxLines);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUndoRedoEnabled(false);
    // Tab moves on to the next control, as in every text box of the window, instead of typing.
    setTabChangesFocus(true);
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &OutputBox::flush);
}

void OutputBox::appendLine(std::string_view line)
{
    if (m_clearBeforeNextLine) {
        dropPending();
    }
    m_pending.append(line);
    m_pending.push_back('\n');
    ++m_pendingLines;
    if (m_pendingLines > 2 * kMaxLines) {
        // Lines the box would drop at once anyway are dropped here already.
        std::size_t cut = 0;
        for (int i = 0; i < kMaxLines; ++i) {
            cut = m_pending.find('\n', cut) + 1;
        }
        m_pending.erase(0, cut);
        m_pendingLines -= kMaxLines;
        m_clearPending = true;
    }
    if (!m_flushTimer.isActive()) {
        m_flushTimer.start();
    }
}

void OutputBox::clearText()
{
    forgetPending();
    clear();
}

void OutputBox::clearLater()
{
    if (!m_clearBeforeNextLine) {
        // The lines of the pass that ended stay (and are shown) until the next one emits.
        m_clearBeforeNextLine = true;
        return;
    }
    dropPending();
    if (!m_flushTimer.isActive()) {
        m_flushTimer.start();
    }
}

void OutputBox::dropPending()
{
    m_pending.clear();
    m_pendingLines = 0;
    m_clearPending = true;
    m_clearBeforeNextLine = false;
}

void OutputBox::forgetPending()
{
    m_flushTimer.stop();
    m_pending.clear();
    m_pendingLines = 0;
    m_clearPending = false;
    m_clearBeforeNextLine = false;
}

void OutputBox::setLines(const QStringList& lines)
{
    forgetPending();
    setMaximumBlockCount(0);
    setPlainText(lines.join(QLatin1Char('\n')));
}

void OutputBox::flush()
{
    m_flushTimer.stop();
    if (m_pendingLines >= kMaxLines) {
        // Only the newest lines can stay: the box is refilled rather than scrolled through.
        m_pending.erase(0, newestPendingStart());
        m_pendingLines = kMaxLines;
        m_clearPending = true;
    }
    const bool cleared = m_clearPending;
    if (m_clearPending) {
        m_clearPending = false;
        clear();
    }
    if (m_pending.empty()) {
        if (cleared) {
            emit flushed();
        }
        return;
    }
    QElapsedTimer took;
    took.start();
    if (maximumBlockCount() != kMaxLines) {
        setMaximumBlockCount(kMaxLines);
    }
    appendPlainText(pendingText(0));
    m_pending.clear();
    m_pendingLines = 0;
    // The newest line stays in view at the bottom, scrolled to its start.
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    horizontalScrollBar()->setValue(0);
    // A flood of lines makes each update long: the box then updates less often, so that it never
    // takes more than about a tenth of the window's time.
    m_flushTimer.setInterval(
        static_cast<int>(std::clamp<qint64>(10 * took.elapsed(), kFlushIntervalMs, kLongestFlushIntervalMs)));
    emit flushed();
}

std::size_t OutputBox::newestPendingStart() const
{
    if (m_pendingLines <= kMaxLines) {
        return 0;
    }
    std::size_t from = m_pending.size() - 1;
    for (int i = 0; i < kMaxLines; ++i) {
        from = m_pending.rfind('\n', from - 1);
    }
    return from + 1;
}

QString OutputBox::pendingText(std::size_t from) const
{
    // Without the last LF.
    const std::string_view lines(m_pending.data() + from, m_pending.size() - from - 1);
    const bool ascii = std::all_of(lines.begin(), lines.end(), [](char c) { return (c & 0x80) == 0; });
    if (ascii) {
        return QString::fromLatin1(lines.data(), static_cast<qsizetype>(lines.size()));
    }
    // Each line decoded on its own, so that a line in Latin-1 does not spoil its neighbours.
    QString text;
    std::size_t start = 0;
    while (start <= lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string_view::npos) {
            end = lines.size();
        }
        if (start > 0) {
            text.append(QLatin1Char('\n'));
        }
        text.append(displayText(lines.substr(start, end - start)));
        start = end + 1;
    }
    return text;
}

qint64 OutputBox::textLength() const
{
    // Each block of the document stands for one line and its CR LF.
    const QTextDocument* doc = document();
    const bool refill = m_clearPending || m_pendingLines >= kMaxLines;
    const qint64 shown = refill || doc->isEmpty() ? 0 : doc->characterCount() + doc->blockCount();
    // The pending lines that will be shown, each with CR LF for its LF.
    const qint64 pending = m_pending.empty() ? 0
                                             : pendingText(newestPendingStart()).size() + 1 +
                                                   std::min<qsizetype>(m_pendingLines, kMaxLines);
    return shown + pending;
}

QString OutputBox::text()
{
    flush();
    if (document()->isEmpty()) {
        return {};
    }
    QString all = toPlainText();
    all.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return all + QLatin1String("\r\n");
}

} // namespace korvane
