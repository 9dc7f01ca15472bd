#pragma once

#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>

namespace korvane {

// TXT_OutPut: the multi-line output box. Lines handed to it during a run are gathered and shown
// together a few times a second, so painting never limits the rate; the box keeps its last
// `maxLines` lines, so its memory stays flat over any number of lines. Its length is counted
// as the box's text with a CR LF after each line.
class OutputBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    static constexpr int maxLines = 10000;

    explicit OutputBox(QWidget* parent = nullptr);

    void appendLine(const QString& line);    // shown at the next update
    void setLines(const QStringList& lines); // replaces the whole text at once
    void clearText();
    void flush();              // shows what is pending now
    qint64 textLength() const; // characters of the text, CR LF counted as two
    QString text();            // the whole text, each line followed by CR LF

signals:
    void flushed();

private:
    QStringList m_pending;
    qint64 m_pendingLength = 0;
    QTimer m_flushTimer;
};

} // namespace korvane
