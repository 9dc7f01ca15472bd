// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>

#include <string>
#include <string_view>

namespace korvane {

// TXT_OutPut: the multi-line output box. Lines handed to it during a run, and the emptying at
// each pass, are gathered as bytes and shown together a few times a second (less often when
// showing takes long), so neither painting nor text conversion limits the rate; the box keeps
// the last `kMaxLines` lines of a run, so its memory stays flat over any number of lines. Its
// length is counted as the box's text with a CR LF after each line. The emptying at a pass's
// start waits for that pass's first line, so the last line of a pass stays in view meanwhile.
class OutputBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    // Lines of a run kept in view. A whole text set at once (the source-file view, whose own
    // limit of 61,800 characters bounds it) is kept whole.
    static constexpr int kMaxLines = 10000;

    explicit OutputBox(QWidget* parent = nullptr);

    // A line's bytes (UTF-8, else Latin-1), without a line end: shown at the next update.
    void appendLine(std::string_view line);
    void setLines(const QStringList& lines); // replaces the whole text at once
    void clearText();                        // empties the box now
    // Empties the box before the next line, as a run does at every pass; a second call before
    // any line (a pass that found none) empties it with the next update.
    void clearLater();
    void flush();              // shows what is pending now
    qint64 textLength() const; // characters of the text, CR LF counted as two
    QString text();            // the whole text, each line followed by CR LF

signals:
    void flushed(); // an update emptied the box or showed lines

private:
    void dropPending();   // the pending lines go, and the next update empties the box
    void forgetPending(); // nothing pending any more, not even an emptying
    // The pending lines from byte `from` on as the box shows them, joined by LF.
    QString pendingText(std::size_t from) const;
    // Where the newest kMaxLines pending lines begin.
    std::size_t newestPendingStart() const;

    // The gathering interval, and its longest when updates take long.
    static constexpr int kFlushIntervalMs = 40;
    static constexpr int kLongestFlushIntervalMs = 500;

    std::string m_pending; // lines waiting to be shown, each followed by LF (lines hold no CR or LF)
    qsizetype m_pendingLines = 0;
    bool m_clearPending = false;        // the next update empties the box first
    bool m_clearBeforeNextLine = false; // a pass has begun: its first line empties the box
    QTimer m_flushTimer;
};

} // namespace korvane
