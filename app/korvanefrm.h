// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "app/clickable.h"
#include "app/connectionlamp.h"
#include "app/korvaneservices.h"
#include "app/outputbox.h"
#include "app/runpresenter.h"
#include "app/transportbar.h"
#include "session/companion.h"
#include "session/outputdrain.h"
#include "session/ratesampler.h"
#include "session/runoutput.h"
#include "session/runsession.h"
#include "settings/runconfig.h"
#include "settings/settings.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <string>

namespace korvane {

// Korvane's only window: it builds the form and presents the session (start-up, the prepared
// output, the runs). A generation run is shown through its RunPresenter.
class KorvaneFRM : public QWidget
{
    Q_OBJECT

public:
    // Client heights of the two views, in twips: the top strip alone, or the whole window.
    static constexpr int kCompactHeightTwips = 1260;
    static constexpr int kFullHeightTwips = 4110;
    static constexpr int kClientWidthTwips = 5640;

    enum class LoadOutcome
    {
        Shown,         // start-up ended normally or with an error shown in the title; show the window
        Refused,       // another copy runs
        SourceMissing, // the source file to be counted does not exist
        Interrupted    // a termination signal closed a start-up message box: end, writing nothing more
    };

    explicit KorvaneFRM(KorvaneServices services, QWidget* parent = nullptr);
    ~KorvaneFRM() override;

    // Start-up, before the window is first shown.
    LoadOutcome load();
    // Ends the program from start-up as a close would, without showing the window.
    void unload();

    const Settings& settings() const { return m_settings; }
    const RunFlags& flags() const { return m_session.flags(); }
    std::string sourceFile() const { return m_config.run.sourceFile.string(); }
    const RunOutput& output() const { return m_output; }
    bool runActive() const { return m_session.running(); }
    bool isCompact() const;
    OutputBox* outputBox() const { return TXT_OutPut; }
    TransportBar* transport() const { return MMControl1; }

signals:
    void runEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void writeManifest(); // MANIFEST.JSON, when the settings ask for it
    void setClientHeightTwips(int twips);

    // Handlers
    void onToggleView();
    void onCollapseView();
    void onPause();
    void onExit();
    void onSourceFile();
    void onHarkwell();
    void onHelp();

    KorvaneServices m_services;

    // Settings in force, the output and the runs.
    Settings m_settings;
    RunConfig m_config;
    RunOutput m_output;
    OutputDrain m_drain{m_output}; // after a run, until its lines have settled: for the report
    RunPresenter m_runView;
    RunSession m_session;
    RateSampler m_rates{[this] { return m_session.progress(); }}; // the rate each second, for MANIFEST.JSON
    CompanionLaunch m_companion;                                  // how the Harkwell button starts the listener
    QString m_helpFile;

    // Top strip
    ClickableLabel* Picture1;
    PictureBox* FRM_Vert;
    ClickableLabel* LBL_ProgName;
    ClickableLabel* LBL_titre;
    ClickableLabel* LBL_Logs;
    StatusLamp* FRM_On;
    StatusLamp* FRM_Winsock;
    StatusLamp* FRM_Yellow;
    StatusLamp* FRM_Red;
    StatusLamp* frm_green;
    // Lower area
    QFrame* FRM_Infos;
    QLabel* LBL_Delay;
    QLabel* LBL_LineNumber;
    QLabel* LBL_GenerationType;
    QLabel* LBL_SyslogFile;
    QLabel* LBL_HostIP;
    QPushButton* CMD_Quitter;
    QPushButton* CMD_ReadPixFile;
    QPushButton* CMD_Harkwell;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* LBL_LineCount;
    TransportBar* MMControl1;
    OutputBox* TXT_OutPut;
    ConnectionLamp* m_connectionLamp; // FRM_Winsock showing the network output
};

} // namespace korvane
