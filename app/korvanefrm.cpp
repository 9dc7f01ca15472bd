// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/korvanefrm.h"

#include "app/formkit.h"
#include "session/manifest.h"
#include "session/startup.h"

#include <QCloseEvent>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QShortcut>

#include <cstdio>

namespace korvane {

namespace {

const QColor kLampGreen(0, 255, 0);
const QColor kLampPaleYellow(255, 255, 192);
const QColor kLampYellow(255, 255, 0);

} // namespace

KorvaneFRM::KorvaneFRM(KorvaneServices services, QWidget* parent)
    : QWidget(parent), m_services(services),
      m_session(services.random, services.wallClock, services.monotonicClock, m_runView)
{
    setObjectName(QStringLiteral("KorvaneFRM"));
    setWindowTitle(QStringLiteral("Korvane"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/korvane-32.png")));
    setFont(sansFont(11, false));
    buildControls();
    setClientHeightTwips(kCompactHeightTwips);

    m_runView.present({.transport = MMControl1,
                       .sourceButton = CMD_ReadPixFile,
                       .programName = LBL_ProgName,
                       .title = LBL_titre,
                       .output = TXT_OutPut,
                       .lineCount = LBL_LineCount,
                       .greenLamp = frm_green,
                       .redLamp = FRM_Red,
                       .yellowLamp = FRM_Yellow},
                      [this] { return m_session.progress(); });
    connect(&m_session, &RunSession::runEnded, this, [this] {
        m_runView.endRun();
        emit runEnded();
        // The lines stay queued for the receiver; the report and the manifest wait until they have
        // settled (at most the drain's time), or until the next Play or the exit.
        m_drain.start(OutputDrain::Leave::KeepQueue);
    });
    connect(&m_drain, &OutputDrain::ended, this, [this] {
        m_rates.finish();
        m_runView.reportRun();
        writeManifest();
    });
}

// With Manifest=1, MANIFEST.JSON beside GENERATE.TXT says what the run that just ended sent. The
// window does not wait for a queue to drain: the counts are those of the moment.
void KorvaneFRM::writeManifest()
{
    if (!m_config.manifest) {
        return;
    }
    Result<Manifest> manifest =
        manifestOf(m_settings, localeDecimalSeparator(), m_config, m_session.record(), m_session.progress());
    if (manifest) {
        manifest.value().perSecond = m_rates.log().rows();
    }
    const Result<> written =
        manifest ? korvane::writeManifest(manifest.value(), "MANIFEST.JSON") : Result<>(manifest.failure());
    if (!written) {
        std::fprintf(stderr, "korvane: MANIFEST.JSON not written: %s\n", written.reason().c_str());
    }
}

KorvaneFRM::~KorvaneFRM()
{
    // The window object goes: a run that may still be under way must end, and the last one's
    // report is told as it stands.
    m_drain.endNow();
    m_session.quit();
}

void KorvaneFRM::buildControls()
{
    const QColor highlightText = palette().color(QPalette::HighlightedText);

    // Top strip: the logo and the title panel with the appliance picture.
    Picture1 = make<ClickableLabel>(this, "Picture1", twipsRect(0, 0, 1380, 1260));
    Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture1->setLineWidth(2);
    Picture1->setPixmap(QPixmap(QStringLiteral(":/pictures/korvane-logo.png")));

    FRM_Vert = make<PictureBox>(this, "FRM_Vert", twipsRect(1440, 0, 4155, 1275));
    FRM_Vert->setPicture(QPixmap(QStringLiteral(":/pictures/appliance-front.png")));

    LBL_ProgName = make<ClickableLabel>(FRM_Vert, "LBL_ProgName", twipsRect(120, 240, 4080, 615));
    LBL_ProgName->setAlignment(Qt::AlignCenter);
    LBL_ProgName->setFont(sansFont(18, true));
    setColours(LBL_ProgName, highlightText, {});

    LBL_titre = make<ClickableLabel>(FRM_Vert, "LBL_titre", twipsRect(15, 285, 4080, 195));
    LBL_titre->setAlignment(Qt::AlignCenter);
    LBL_titre->setFont(sansFont(11, true));
    setColours(LBL_titre, highlightText, {});

    LBL_Logs = make<ClickableLabel>(FRM_Vert, "LBL_Logs", twipsRect(180, 810, 1170, 240));
    LBL_Logs->setAlignment(Qt::AlignCenter);
    setColours(LBL_Logs, QColor(255, 255, 0), QColor(128, 128, 128));

    FRM_On = make<StatusLamp>(FRM_Vert, "FRM_On", twipsRect(1710, 1005, 60, 60), kLampGreen);
    FRM_Winsock = make<StatusLamp>(FRM_Vert, "FRM_Winsock", twipsRect(1965, 930, 60, 60), kLampGreen);
    m_connectionLamp = new ConnectionLamp(FRM_Winsock);
    FRM_Yellow = make<StatusLamp>(FRM_Vert, "FRM_Yellow", twipsRect(2085, 900, 60, 60), kLampPaleYellow);
    FRM_Red = make<StatusLamp>(FRM_Vert, "FRM_Red", twipsRect(2085, 960, 60, 60), kLampPaleYellow);
    frm_green = make<StatusLamp>(FRM_Vert, "frm_green", twipsRect(2085, 1020, 60, 60), kLampYellow);
    FRM_Yellow->hide();
    FRM_Red->hide();
    frm_green->hide();

    // Lower area: settings panel, buttons, notices, counter, transport and output box.
    FRM_Infos = make<QFrame>(this, "FRM_Infos", twipsRect(0, 1320, 2040, 1380));
    FRM_Infos->setFrameStyle(QFrame::Box | QFrame::Sunken);
    LBL_Delay = make<QLabel>(FRM_Infos, "LBL_Delay", twipsRect(120, 165, 1170, 255), QStringLiteral("Delay : "));
    LBL_LineNumber =
        make<QLabel>(FRM_Infos, "LBL_LineNumber", twipsRect(120, 390, 1260, 255), QStringLiteral("Just One :"));
    LBL_GenerationType = make<QLabel>(FRM_Infos, "LBL_GenerationType", twipsRect(105, 630, 1560, 255),
                                      QStringLiteral("Generation Type :"));
    LBL_SyslogFile =
        make<QLabel>(FRM_Infos, "LBL_SyslogFile", twipsRect(105, 855, 1485, 255), QStringLiteral("SysLog File : "));
    LBL_HostIP = make<QLabel>(FRM_Infos, "LBL_HostIP", twipsRect(120, 1080, 1890, 195),
                              QStringLiteral("Host IP : 100.100.100.100"));
    LBL_HostIP->hide();

    CMD_Quitter = make<QPushButton>(this, "CMD_Quitter", twipsRect(2040, 1320, 1110, 315), QStringLiteral("&Exit"));
    CMD_ReadPixFile =
        make<QPushButton>(this, "CMD_ReadPixFile", twipsRect(4200, 1320, 1410, 315), QStringLiteral("&Source File"));
    CMD_Harkwell =
        make<QPushButton>(this, "CMD_Harkwell", twipsRect(4200, 1815, 1410, 315), QStringLiteral("&Harkwell"));

    Label2 = make<QLabel>(this, "Label2", twipsRect(2085, 1695, 1995, 210), QStringLiteral("Unsupported software."));
    Label2->setFont(sansFont(11, true)); // 8.25 pt
    Label3 = make<QLabel>(this, "Label3", twipsRect(2100, 1980, 945, 270), QStringLiteral("F1: Help"));
    Label3->setFont(sansFont(11, true));
    setColours(Label3, QColor(0, 0, 255), {});
    // Wider than its 1020 twips of old, up to the transport control, so that counts of a fast run
    // (seven digits and more) are not cut off.
    LBL_LineCount = make<QLabel>(this, "LBL_LineCount", twipsRect(2160, 2520, 2100, 300), QStringLiteral("Lines :"));

    MMControl1 = make<TransportBar>(this, "MMControl1", twipsRect(4320, 2400, 1170, 315));
    TXT_OutPut = make<OutputBox>(this, "TXT_OutPut", twipsRect(0, 2760, 5595, 1335));
    TXT_OutPut->setPlainText(QStringLiteral("TXT_OutPut"));

    // Focus starts on Exit; Tab then goes to the output box, Source File, the transport, Harkwell.
    for (QWidget* w : {static_cast<QWidget*>(Picture1), static_cast<QWidget*>(FRM_Vert)}) {
        w->setFocusPolicy(Qt::NoFocus);
    }
    setTabOrder(CMD_Quitter, TXT_OutPut);
    setTabOrder(TXT_OutPut, CMD_ReadPixFile);
    setTabOrder(CMD_ReadPixFile, MMControl1->playButton());
    setTabOrder(MMControl1->playButton(), MMControl1->pauseButton());
    setTabOrder(MMControl1->pauseButton(), MMControl1->stopButton());
    setTabOrder(MMControl1->stopButton(), CMD_Harkwell);
    CMD_Quitter->setFocus();

    connect(Picture1, &ClickableLabel::clicked, this, &KorvaneFRM::onToggleView);
    connect(FRM_Vert, &PictureBox::clicked, this, &KorvaneFRM::onToggleView);
    connect(LBL_Logs, &ClickableLabel::clicked, this, &KorvaneFRM::onToggleView);
    connect(LBL_ProgName, &ClickableLabel::clicked, this, &KorvaneFRM::onToggleView);
    connect(LBL_titre, &ClickableLabel::clicked, this, &KorvaneFRM::onCollapseView);
    // The last run is reported before the next one counts afresh.
    connect(MMControl1, &TransportBar::playPressed, &m_drain, &OutputDrain::endNow);
    connect(MMControl1, &TransportBar::playPressed, this, [this] {
        m_session.play();
        if (m_config.manifest && m_session.running()) {
            m_rates.start();
        }
    });
    connect(MMControl1, &TransportBar::pausePressed, this, &KorvaneFRM::onPause);
    connect(MMControl1, &TransportBar::stopPressed, &m_session, &RunSession::stop);
    connect(CMD_Quitter, &QPushButton::clicked, this, &KorvaneFRM::onExit);
    connect(CMD_ReadPixFile, &QPushButton::clicked, this, &KorvaneFRM::onSourceFile);
    connect(CMD_Harkwell, &QPushButton::clicked, this, &KorvaneFRM::onHarkwell);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, &KorvaneFRM::onHelp);
}

void KorvaneFRM::setClientHeightTwips(int twips)
{
    setFixedSize(px(kClientWidthTwips), px(twips));
}

bool KorvaneFRM::isCompact() const
{
    return height() == px(kCompactHeightTwips);
}

void KorvaneFRM::onPause()
{
    MMControl1->stopButton()->setEnabled(true);
    m_session.pause();
}

} // namespace korvane
