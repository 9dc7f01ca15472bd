#include "app/korvanefrm.h"

#include "app/artwork.h"
#include "platform/displaytext.h"

#include <QCloseEvent>
#include <QLocale>
#include <QShortcut>

#include <cstdio>

namespace korvane {

namespace {

constexpr int px(int twips)
{
    return twips / KorvaneFRM::kTwipsPerPixel;
}

QRect twipsRect(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

// The window's font sizes, in pixels at 96 dots per inch: 11 for 8 pt and 8.25 pt, 18 for 13.5 pt.
QFont sansFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    // The window's boxes were laid out for a narrow face; a condensed sans keeps its captions whole.
    font.setStretch(88);
    return font;
}

void setColours(QWidget* widget, const QColor& text, const QColor& background)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, text);
    if (background.isValid()) {
        pal.setColor(QPalette::Window, background);
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(pal);
}

template <typename T, typename... Args>
T* make(QWidget* parent, const char* name, QRect geometry, Args&&... args)
{
    auto* widget = new T(std::forward<Args>(args)..., parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

const QColor kLampGreen(0, 255, 0);
const QColor kLampPaleYellow(255, 255, 192);
const QColor kLampYellow(255, 255, 0);

} // namespace

KorvaneFRM::KorvaneFRM(KorvaneServices services, QWidget* parent)
    : QWidget(parent), m_services(services),
      m_session(services.random, services.wallClock, services.monotonicClock, *this)
{
    setObjectName(QStringLiteral("KorvaneFRM"));
    setWindowTitle(QStringLiteral("Korvane"));
    setWindowIcon(QIcon(QPixmap::fromImage(korvaneIcon())));
    setFont(sansFont(11, false));
    buildControls();
    setClientHeightTwips(kCompactHeightTwips);

    connect(&m_session, &RunSession::runEnded, this, [this] {
        refreshRunView();
        reportDroppedLines();
        emit runEnded();
    });
    // The counter and the lamps follow the output box's updates, so a fast run repaints a few
    // times a second rather than three widgets per line.
    connect(TXT_OutPut, &OutputBox::flushed, this, &KorvaneFRM::showRunState);
}

KorvaneFRM::~KorvaneFRM()
{
    // The window object goes: a run that may still be under way must end.
    m_session.quit();
}

void KorvaneFRM::buildControls()
{
    const QColor highlightText = palette().color(QPalette::HighlightedText);

    // Top strip: the logo and the title panel with the appliance picture.
    Picture1 = make<ClickableLabel>(this, "Picture1", twipsRect(0, 0, 1380, 1260));
    Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture1->setLineWidth(2);
    Picture1->setPixmap(QPixmap::fromImage(korvaneLogo()));

    FRM_Vert = make<PictureBox>(this, "FRM_Vert", twipsRect(1440, 0, 4155, 1275));
    FRM_Vert->setPicture(QPixmap::fromImage(applianceFront()));

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
    connect(MMControl1, &TransportBar::playPressed, this, &KorvaneFRM::onPlay);
    connect(MMControl1, &TransportBar::pausePressed, this, &KorvaneFRM::onPause);
    connect(MMControl1, &TransportBar::stopPressed, this, &KorvaneFRM::onStop);
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

void KorvaneFRM::showUnknownError(const QString& reason)
{
    LBL_titre->setText(QStringLiteral("Unknown Error !!!"));
    LBL_titre->setToolTip(reason);
    LBL_titre->show();
    if (!reason.isEmpty()) {
        std::fprintf(stderr, "korvane: %s\n", qPrintable(reason));
    }
}

// --- What a run drives -------------------------------------------------------------------

void KorvaneFRM::setTransport(bool playEnabled, bool pauseEnabled, bool stopEnabled)
{
    MMControl1->setEnabledButtons(playEnabled, pauseEnabled, stopEnabled);
}

void KorvaneFRM::showRunTitle()
{
    LBL_ProgName->hide();
    LBL_titre->setText(QStringLiteral("Log's Generation"));
    LBL_titre->setToolTip(QString());
    LBL_titre->show();
    m_lineCountPending = true; // a new run: the last run's dropped lines leave the tooltip
}

void KorvaneFRM::setSourceButtonEnabled(bool enabled)
{
    CMD_ReadPixFile->setEnabled(enabled);
}

void KorvaneFRM::clearOutput()
{
    TXT_OutPut->clearLater();
}

void KorvaneFRM::appendOutput(std::string_view line)
{
    TXT_OutPut->appendLine(displayText(line));
}

void KorvaneFRM::setLineCount(std::int64_t count)
{
    m_shownLineCount = count;
    m_lineCountPending = true;
}

void KorvaneFRM::reportDroppedLines() const
{
    const RunProgress progress = m_session.progress();
    if (progress.dropped > 0) {
        std::fprintf(stderr, "korvane: %lld of %lld lines dropped: the system could not take them at once\n",
                     static_cast<long long>(progress.dropped), static_cast<long long>(progress.emitted));
    }
}

bool KorvaneFRM::lampsVisible() const
{
    return m_lampsOn;
}

void KorvaneFRM::setLampsVisible(bool visible)
{
    m_lampsOn = visible;
}

void KorvaneFRM::showFailure(std::string_view reason)
{
    refreshRunView();
    showUnknownError(QString::fromStdString(std::string(reason)));
}

void KorvaneFRM::refreshRunView()
{
    TXT_OutPut->flush();
    showRunState();
}

void KorvaneFRM::showRunState()
{
    if (m_lineCountPending) {
        m_lineCountPending = false;
        if (m_shownLineCount >= 0) {
            LBL_LineCount->setText(QStringLiteral("Lines : %1").arg(m_shownLineCount));
        }
        const std::int64_t dropped = m_session.progress().dropped;
        LBL_LineCount->setToolTip(
            dropped > 0 ? QStringLiteral("%1 lines dropped: the system could not take them at once").arg(dropped)
                        : QString());
    }
    if (frm_green->isHidden() == m_lampsOn) {
        for (StatusLamp* lamp : {frm_green, FRM_Red, FRM_Yellow}) {
            lamp->setHidden(!m_lampsOn);
        }
    }
}

} // namespace korvane
