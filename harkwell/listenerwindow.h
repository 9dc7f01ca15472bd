// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "harkwell/listener.h"
#include "harkwell/ratehistory.h"
#include "harkwell/transport.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableView;

namespace korvane::harkwell {

class RateChart;
class SenderTableModel;

// The listener's window: the last messages with their arrival time, sender and syslog header, below them a table of
// the senders (each address and host with its counts, rate and sequence figures, sortable by any column), the
// counts and the rate, and Pause, Clear and Save; above them the transport (UDP, TCP or TLS with its certificate
// and key files) and the port; below them a chart of the last ten minutes' rate. Lines are shown in batches on a
// short timer, and the sender table is refreshed on a slower one, so that drawing never limits how fast datagrams
// are read, and both the view and the lines waiting for it are bounded, in lines and in size, so that memory stays
// flat under a flood of long messages as of short ones; the oldest lines go first.
class ListenerWindow : public QWidget
{
    Q_OBJECT

public:
    // Asks where to save; an empty answer cancels. Tests replace the file dialog with their own answer.
    using SavePathChooser = std::function<QString(QWidget* parent)>;

    static constexpr int kMaxLines = 10000;
    // About 64 MiB of text, a character counted as a byte as it is in the mostly ASCII lines of syslog.
    static constexpr qsizetype kMaxViewCharacters = 64 * 1024 * 1024;
    static constexpr int kRefreshMs = 50;
    // The time between refreshes is at least this many times the last refresh's drawing time.
    static constexpr int kDrawShareInverse = 5;
    // Text appended to the view at once at most. Many lines go in one append, since a block per line costs far
    // less than a layout pass per line; but no more, because the view's document frees the text of the lines it
    // dropped only when an edit leaves its buffer nearly full, which appends of tens of MiB can step over every
    // time (the dropped text then piled up: 1.5 GB after 30,000 messages of 64 KiB).
    static constexpr qsizetype kAppendBytes = 1024 * 1024;
    // The sender table is refreshed a few times a second, however many messages come.
    static constexpr int kSenderRefreshMs = 250;

    explicit ListenerWindow(const QHostAddress& bindAddress, QWidget* parent = nullptr);

    // Chooses what the next listenOn() listens over; the paths are the TLS certificate and key files.
    void setTransport(Transport transport, const QString& certificatePath = {}, const QString& keyPath = {});

    // Listens on port of the bind address over the chosen transport. A failure (the port, or for TLS the
    // certificate or key) is shown in the window with the reason, and the choices and the Listen button stay
    // ready for another try; nothing fails silently.
    bool listenOn(quint16 port);

    // Writes the lines on view to path, one datagram per line; a failure is shown in the window.
    bool saveTo(const QString& path);

    void setSavePathChooser(SavePathChooser chooser);

    // How much the view keeps (kMaxLines and kMaxViewCharacters unless set); tests make it small.
    void setViewLimits(int lines, qsizetype characters);

    // The port being listened on, 0 when none.
    [[nodiscard]] quint16 port() const;

signals:
    // One peer's trouble (see Listener::peerProblem), shown in the window and passed on, so that each one can be
    // kept (the window shows the latest only).
    void peerProblem(const QString& text);

private:
    void buildLayout();
    [[nodiscard]] Transport chosenTransport() const;
    // Replaces the listener with a new one, not yet listening, for transport.
    void replaceListener(Transport transport, const QSslConfiguration& tls);
    void queue(const QList<Datagram>& batch);
    void refresh();
    void refreshSenders();
    // Shows or hides the sequence figures' columns of the sender table.
    void showSequenceColumns(bool shown);
    // Drops the oldest lines of the view until its text is within m_maxViewCharacters.
    void trimView();
    // Appends the pending datagrams to the view, one line each, and keeps the view within its limits.
    void showPending();
    void setPaused(bool paused);
    void clear();
    void save();
    void showStatus(const QString& text, bool isError);

    QHostAddress m_bindAddress;
    std::unique_ptr<Listener> m_listener; // never null: before the first Listen, a UDP one that is not listening
    Transport m_listenerTransport = Transport::Udp;
    QTimer m_refreshTimer;
    QTimer m_senderTimer;
    RateSampler m_rateSampler; // samples whichever listener m_listener is
    QList<Datagram> m_pending; // received but not yet shown, the newest within the view's limits
    qsizetype m_pendingBytes = 0;
    int m_maxLines = kMaxLines;
    qsizetype m_maxViewCharacters = kMaxViewCharacters;
    bool m_paused = false;
    SavePathChooser m_choosePath;

    QComboBox* m_transportBox = nullptr;
    QWidget* m_tlsRow = nullptr; // shown only for TLS
    QLineEdit* m_certificateEdit = nullptr;
    QLineEdit* m_keyEdit = nullptr;
    QSpinBox* m_portBox = nullptr;
    QPushButton* m_listenButton = nullptr;
    QLabel* m_status = nullptr;
    QPlainTextEdit* m_view = nullptr;
    RateChart* m_chart = nullptr;
    QLabel* m_counters = nullptr;
    SenderTableModel* m_senderModel = nullptr;
    QTableView* m_senderTable = nullptr; // its sequence columns hidden until a message carries a sequence id
    QPushButton* m_pauseButton = nullptr;
    QPushButton* m_clearButton = nullptr;
    QPushButton* m_saveButton = nullptr;
};

} // namespace korvane::harkwell
