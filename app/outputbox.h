// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>

namespace korvane {

// TXT_OutPut: the multi-line output box. Lines handed to it during a run, and the emptying at
// each pass, are gathered and shown together a few times a second, so painting never limits the
// rate; the box keeps the last `kMaxLines` lines of a run, so its memory stays flat over any
// number of lines. Its length is counted as the box's text with a CR LF after each line.
class OutputBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    // Lines of a run kept in view. A whole text set at once (the source-file view, whose own
    // limit of 61,800 characters bounds it) is kept whole.
    static constexpr int kMaxLines = 10000;

    explicit OutputBox(QWidget* parent = nullptr);

    void appendLine(const QString& line);    // shown at the next update
    void setLines(const QStringList& lines); // replaces the whole text at once
    void clearText();                        // empties the box now
    void clearLater();                       // empties it with the next update, as a fast run does at every pass
    void flush();                            // shows what is pending now
    qint64 textLength() const;               // characters of the text, CR LF counted as two
    QString text();                          // the whole text, each line followed by CR LF

signals:
    void flushed();

private:
    QStringList m_pending;
    qint64 m_pendingLength = 0;
    bool m_clearPending = false;
    QTimer m_flushTimer;
};

} // namespace korvane
