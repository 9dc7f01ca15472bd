// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/outputbox.h"

#include <QScrollBar>
#include <QTextDocument>

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
    m_flushTimer.setInterval(40);
    connect(&m_flushTimer, &QTimer::timeout, this, &OutputBox::flush);
}

void OutputBox::appendLine(const QString& line)
{
    m_pending.append(line);
    m_pendingLength += line.size() + 2;
    if (m_pending.size() > 2 * kMaxLines) {
        // Lines the box would drop at once anyway are dropped here already.
        for (qsizetype i = 0; i < kMaxLines; ++i) {
            m_pendingLength -= m_pending.at(i).size() + 2;
        }
        m_pending.remove(0, kMaxLines);
        m_clearPending = true;
    }
    if (!m_flushTimer.isActive()) {
        m_flushTimer.start();
    }
}

void OutputBox::clearText()
{
    m_flushTimer.stop();
    m_pending.clear();
    m_pendingLength = 0;
    m_clearPending = false;
    clear();
}

void OutputBox::clearLater()
{
    m_pending.clear();
    m_pendingLength = 0;
    m_clearPending = true;
    if (!m_flushTimer.isActive()) {
        m_flushTimer.start();
    }
}

void OutputBox::setLines(const QStringList& lines)
{
    m_flushTimer.stop();
    m_pending.clear();
    m_pendingLength = 0;
    m_clearPending = false;
    setMaximumBlockCount(0);
    setPlainText(lines.join(QLatin1Char('\n')));
}

void OutputBox::flush()
{
    m_flushTimer.stop();
    if (m_clearPending) {
        m_clearPending = false;
        clear();
    }
    if (m_pending.isEmpty()) {
        return;
    }
    if (maximumBlockCount() != kMaxLines) {
        setMaximumBlockCount(kMaxLines);
    }
    appendPlainText(m_pending.join(QLatin1Char('\n')));
    m_pending.clear();
    m_pendingLength = 0;
    // The newest line stays in view at the bottom, scrolled to its start.
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    horizontalScrollBar()->setValue(0);
    emit flushed();
}

qint64 OutputBox::textLength() const
{
    // Each block of the document stands for one line and its CR LF.
    const QTextDocument* doc = document();
    const qint64 shown = m_clearPending || doc->isEmpty() ? 0 : doc->characterCount() + doc->blockCount();
    return shown + m_pendingLength;
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
