// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "harkwell/listenerwindow.h"

#include "harkwell/ratechart.h"
#include "harkwell/sendertablemodel.h"
#include "harkwell/tlsidentity.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QSplitter>
#include <QSslConfiguration>
#include <QTableView>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace korvane::harkwell {

ListenerWindow::ListenerWindow(const QHostAddress& bindAddress, QWidget* parent)
    : QWidget(parent), m_bindAddress(bindAddress), m_rateSampler([this] {
          return RateSample{m_listener->datagramCount(), m_listener->droppedCount()};
      })
{
    m_choosePath = [](QWidget* dialogParent) {
        return QFileDialog::getSaveFileName(dialogParent, tr("Save messages"), QString(),
                                            tr("Text files (*.txt);;All files (*)"));
    };
    buildLayout();
    setWindowTitle(QStringLiteral("Harkwell"));
    replaceListener(Transport::Udp, {});

    connect(m_transportBox, &QComboBox::currentIndexChanged, this,
            [this] { m_tlsRow->setVisible(chosenTransport() == Transport::Tls); });
    connect(m_listenButton, &QPushButton::clicked, this,
            [this] { listenOn(static_cast<quint16>(m_portBox->value())); });
    connect(m_pauseButton, &QPushButton::toggled, this, &ListenerWindow::setPaused);
    connect(m_clearButton, &QPushButton::clicked, this, &ListenerWindow::clear);
    connect(m_saveButton, &QPushButton::clicked, this, &ListenerWindow::save);
    connect(&m_refreshTimer, &QTimer::timeout, this, &ListenerWindow::refresh);
    m_refreshTimer.start(kRefreshMs);
    connect(&m_senderTimer, &QTimer::timeout, this, &ListenerWindow::refreshSenders);
    m_senderTimer.start(kSenderRefreshMs);
    m_rateSampler.start();
    refresh();
}

void ListenerWindow::buildLayout()
{
    m_transportBox = new QComboBox(this);
    m_transportBox->setObjectName(QStringLiteral("transportBox"));
    for (const Transport transport : {Transport::Udp, Transport::Tcp, Transport::Tls}) {
        m_transportBox->addItem(transportName(transport), static_cast<int>(transport));
    }
    m_transportBox->setToolTip(tr("UDP datagrams, TCP connections (octet-counted or one message per line), or "
                                  "TCP connections under TLS"));
    m_portBox = new QSpinBox(this);
    m_portBox->setObjectName(QStringLiteral("portBox"));
    m_portBox->setRange(0, 65535);
    m_portBox->setToolTip(tr("Port to listen on (0 lets the system choose)"));
    m_listenButton = new QPushButton(tr("&Listen"), this);
    m_listenButton->setObjectName(QStringLiteral("listenButton"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* portRow = new QHBoxLayout;
    auto* transportLabel = new QLabel(tr("&Transport:"), this);
    transportLabel->setBuddy(m_transportBox);
    portRow->addWidget(transportLabel);
    portRow->addWidget(m_transportBox);
    auto* portLabel = new QLabel(tr("P&ort:"), this);
    portLabel->setBuddy(m_portBox);
    portRow->addWidget(portLabel);
    portRow->addWidget(m_portBox);
    portRow->addWidget(m_listenButton);
    portRow->addWidget(m_status, 1);

    // The TLS files, each a path to type or to browse for.
    m_tlsRow = new QWidget(this);
    auto* tlsRow = new QHBoxLayout(m_tlsRow);
    tlsRow->setContentsMargins(0, 0, 0, 0);
    auto addPath = [this, tlsRow](const QString& label, const QString& name, const QString& dialogTitle) {
        auto* edit = new QLineEdit(m_tlsRow);
        edit->setObjectName(name);
        auto* caption = new QLabel(label, m_tlsRow);
        caption->setBuddy(edit);
        auto* browse = new QToolButton(m_tlsRow); // as narrow as its "..."
        browse->setText(tr("..."));
        browse->setToolTip(dialogTitle);
        connect(browse, &QToolButton::clicked, this, [this, edit, dialogTitle] {
            const QString path = QFileDialog::getOpenFileName(this, dialogTitle, edit->text(),
                                                              tr("PEM files (*.pem *.crt *.key);;All files (*)"));
            if (!path.isEmpty()) {
                edit->setText(path);
            }
        });
        tlsRow->addWidget(caption);
        tlsRow->addWidget(edit, 1);
        tlsRow->addWidget(browse);
        return edit;
    };
    m_certificateEdit = addPath(tr("C&ertificate:"), QStringLiteral("certificateEdit"), tr("TLS certificate (PEM)"));
    m_keyEdit = addPath(tr("&Key:"), QStringLiteral("keyEdit"), tr("TLS private key (PEM)"));
    m_tlsRow->setVisible(false);

    m_view = new QPlainTextEdit(this);
    m_view->setObjectName(QStringLiteral("datagramView"));
    m_view->setToolTip(tr("Each line: arrival time, sender, then the facility, severity and host of the message's "
                          "syslog header (- when it has none), then the message"));
    m_view->setReadOnly(true);
    m_view->setUndoRedoEnabled(false);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setMaximumBlockCount(kMaxLines);
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    m_chart = new RateChart(m_rateSampler, this);
    m_chart->setObjectName(QStringLiteral("rateChart"));

    m_counters = new QLabel(this);
    m_counters->setObjectName(QStringLiteral("counterLabel"));
    m_counters->setToolTip(tr("Dropped: datagrams that reached this computer but were discarded by the system "
                              "because they arrived faster than they could be read (UDP only: over TCP a fast "
                              "sender is made to wait instead). Cut (TCP and TLS): messages whose connection "
                              "ended before their frame did; what came of each is shown, marked [cut]"));
    m_senderModel = new SenderTableModel(this);
    m_senderTable = new QTableView(this);
    m_senderTable->setObjectName(QStringLiteral("senderTable"));
    m_senderTable->setToolTip(tr("Each sender, by the address its messages came from and the host their syslog "
                                 "header names: the messages received, those of the last second, and where the "
                                 "messages carry a sequence id (sequenceId in their meta structured data) the ids "
                                 "missing, come again and come after a higher one. Click a heading to sort"));
    m_senderTable->setModel(m_senderModel);
    m_senderTable->setSortingEnabled(true);
    m_senderTable->sortByColumn(SenderTableModel::AddressColumn, Qt::AscendingOrder);
    m_senderTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_senderTable->setWordWrap(false);
    m_senderTable->verticalHeader()->hide();
    // Rows of one height, so that the view never measures 10,000 of them.
    m_senderTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_senderTable->verticalHeader()->setDefaultSectionSize(m_senderTable->fontMetrics().height() + 4);
    m_senderTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_senderTable->horizontalHeader()->setStretchLastSection(true);
    m_senderTable->setColumnWidth(SenderTableModel::AddressColumn, 140);
    m_senderTable->setColumnWidth(SenderTableModel::HostColumn, 200);
    showSequenceColumns(false);
    m_pauseButton = new QPushButton(tr("&Pause"), this);
    m_pauseButton->setObjectName(QStringLiteral("pauseButton"));
    m_pauseButton->setCheckable(true);
    m_clearButton = new QPushButton(tr("&Clear"), this);
    m_clearButton->setObjectName(QStringLiteral("clearButton"));
    m_saveButton = new QPushButton(tr("&Save..."), this);
    m_saveButton->setObjectName(QStringLiteral("saveButton"));

    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(m_counters, 1);
    bottomRow->addWidget(m_pauseButton);
    bottomRow->addWidget(m_clearButton);
    bottomRow->addWidget(m_saveButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(portRow);
    layout->addWidget(m_tlsRow);
    // The messages above their senders; the user moves the line between them.
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_view);
    split->addWidget(m_senderTable);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);
    layout->addWidget(m_chart);
    layout->addLayout(bottomRow);
    resize(900, 650);
}

void ListenerWindow::setTransport(Transport transport, const QString& certificatePath, const QString& keyPath)
{
    m_transportBox->setCurrentIndex(m_transportBox->findData(static_cast<int>(transport)));
    m_certificateEdit->setText(certificatePath);
    m_keyEdit->setText(keyPath);
}

Transport ListenerWindow::chosenTransport() const
{
    return static_cast<Transport>(m_transportBox->currentData().toInt());
}

void ListenerWindow::replaceListener(Transport transport, const QSslConfiguration& tls)
{
    m_listener = makeListener(transport, tls);
    m_listenerTransport = transport;
    m_rateSampler.history().resetTotals(); // the new listener counts from zero
    connect(m_listener.get(), &Listener::datagramsReceived, this, &ListenerWindow::queue);
    // One peer's trouble, shown where a failed Listen is shown; the title still says what is listened on.
    connect(m_listener.get(), &Listener::peerProblem, this, [this](const QString& text) {
        showStatus(text, true);
        emit peerProblem(text);
    });
}

bool ListenerWindow::listenOn(quint16 port)
{
    m_portBox->setValue(port);
    const Transport transport = chosenTransport();
    const QString name = transportName(transport);
    QSslConfiguration tls;
    if (transport == Transport::Tls) {
        const TlsIdentity identity = loadTlsIdentity(m_certificateEdit->text(), m_keyEdit->text());
        if (!identity.isValid()) {
            replaceListener(transport, {}); // not listening, as after a port that cannot be had
            setWindowTitle(QStringLiteral("Harkwell"));
            showStatus(
                tr("Cannot listen over TLS: %1. Choose the certificate and key and press Listen.").arg(identity.error),
                true);
            m_certificateEdit->setFocus();
            return false;
        }
        tls = identity.configuration;
    }
    replaceListener(transport, tls);
    if (!m_listener->listen(m_bindAddress, port)) {
        setWindowTitle(QStringLiteral("Harkwell"));
        showStatus(tr("Cannot listen on %1 %2 port %3: %4. Choose another port and press Listen.")
                       .arg(m_bindAddress.toString(), name)
                       .arg(port)
                       .arg(m_listener->errorString()),
                   true);
        m_portBox->setFocus();
        m_portBox->selectAll();
        return false;
    }
    m_portBox->setValue(m_listener->port());
    // UDP keeps the title it always had, which scripts and window rules look for.
    const QString shownName = transport == Transport::Udp ? QString() : name + QLatin1Char(' ');
    setWindowTitle(QStringLiteral("Harkwell - %1port %2").arg(shownName).arg(m_listener->port()));
    showStatus(tr("Listening on %1 %2 port %3").arg(m_bindAddress.toString(), name).arg(m_listener->port()), false);
    return true;
}

quint16 ListenerWindow::port() const
{
    return m_listener->isListening() ? m_listener->port() : 0;
}

void ListenerWindow::queue(const QList<Datagram>& batch)
{
    // Kept as datagrams: only those still within the view's limits at the next refresh are ever turned into text.
    m_pending += batch;
    for (const Datagram& datagram : batch) {
        m_pendingBytes += datagram.payload.size();
    }
    qsizetype dropped = 0;
    while (m_pending.size() - dropped > m_maxLines || m_pendingBytes > m_maxViewCharacters) {
        m_pendingBytes -= m_pending.at(dropped).payload.size();
        ++dropped;
    }
    m_pending.remove(0, dropped);
}

void ListenerWindow::refresh()
{
    if (!m_paused && !m_pending.isEmpty()) {
        QElapsedTimer drawing;
        drawing.start();
        showPending();
        m_pending.clear();
        m_pendingBytes = 0;
        // Under a flood, laying out thousands of lines takes long; the next refresh waits so that drawing keeps
        // at most about a fifth of the thread and reading the socket the rest.
        m_refreshTimer.setInterval(std::max<qint64>(kRefreshMs, kDrawShareInverse * drawing.elapsed()));
    } else {
        m_refreshTimer.setInterval(kRefreshMs);
    }
    const bool isUdp = m_listenerTransport == Transport::Udp;
    // Only a stream cuts messages short, and only UDP drops any, but the dropped count has always been shown.
    m_counters->setText(tr("%1: %2   Bytes: %3   Rate: %4/s   Dropped: %5%6")
                            .arg(isUdp ? tr("Datagrams") : tr("Messages"))
                            .arg(m_listener->datagramCount())
                            .arg(m_listener->byteCount())
                            .arg(m_listener->ratePerSecond())
                            .arg(m_listener->droppedCount())
                            .arg(isUdp ? QString() : tr("   Cut: %1").arg(m_listener->cutCount())));
}

void ListenerWindow::refreshSenders()
{
    m_senderModel->update(m_listener->senderRows());
    showSequenceColumns(m_senderModel->hasSequences());
}

void ListenerWindow::showSequenceColumns(bool shown)
{
    for (const int column :
         {SenderTableModel::MissingColumn, SenderTableModel::DuplicatedColumn, SenderTableModel::OutOfOrderColumn}) {
        m_senderTable->setColumnHidden(column, !shown);
    }
}

void ListenerWindow::trimView()
{
    QTextDocument* document = m_view->document();
    // The document counts a paragraph separator after each line, as Save writes a line feed.
    qsizetype excess = document->characterCount() - m_maxViewCharacters;
    if (excess <= 0) {
        return;
    }
    int lines = 0;
    for (QTextBlock block = document->begin(); block.isValid() && excess > 0; block = block.next()) {
        excess -= block.length();
        ++lines;
    }
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::Start);
    if (lines < document->blockCount()) {
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, lines);
    } else {
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
}

void ListenerWindow::showPending()
{
    QByteArray text;
    QByteArray prefix;
    const Datagram* previous = nullptr;
    const auto append = [this, &text] {
        m_view->appendPlainText(QString::fromUtf8(text));
        text.clear();
        trimView();
    };
    for (const Datagram& datagram : m_pending) {
        // A batch shares its arrival time and mostly its sender: they are formatted again only on a change.
        if (previous == nullptr || datagram.arrival != previous->arrival || datagram.sender != previous->sender ||
            datagram.senderPort != previous->senderPort) {
            prefix = arrivalColumns(datagram);
        }
        previous = &datagram;
        if (text.size() >= kAppendBytes) {
            append();
        }
        if (!text.isEmpty()) {
            text += '\n';
        }
        const QByteArray line = lineText(datagram.payload);
        text += prefix;
        text += headerColumns(line);
        text += line;
        if (datagram.cut) {
            text += kCutMark;
        }
    }
    append();
}

void ListenerWindow::setPaused(bool paused)
{
    m_paused = paused;
    m_pauseButton->setText(paused ? tr("&Resume") : tr("&Pause"));
}

void ListenerWindow::clear()
{
    m_view->clear();
    m_pending.clear();
    m_pendingBytes = 0;
    m_listener->resetCounters();
    m_rateSampler.history().clear();
    m_rateSampler.history().resetTotals();
    m_chart->update();
    refresh();
    refreshSenders();
}

void ListenerWindow::setSavePathChooser(SavePathChooser chooser)
{
    m_choosePath = std::move(chooser);
}

void ListenerWindow::setViewLimits(int lines, qsizetype characters)
{
    m_maxLines = lines;
    m_maxViewCharacters = characters;
    m_view->setMaximumBlockCount(lines);
}

void ListenerWindow::save()
{
    const QString path = m_choosePath(this);
    if (!path.isEmpty()) {
        saveTo(path);
    }
}

bool ListenerWindow::saveTo(const QString& path)
{
    QByteArray text = m_view->toPlainText().toUtf8();
    if (!text.isEmpty()) {
        text += '\n';
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        showStatus(tr("Cannot save %1: %2").arg(path, file.errorString()), true);
        return false;
    }
    showStatus(tr("Saved %1 lines to %2").arg(text.count('\n')).arg(path), false);
    return true;
}

void ListenerWindow::showStatus(const QString& text, bool isError)
{
    m_status->setText(text);
    m_status->setStyleSheet(isError ? QStringLiteral("color: #b00020; font-weight: bold;") : QString());
}

} // namespace korvane::harkwell
