// Play, Pause and Stop of the transport control.
#include "korvanefrm.h"

#include "numbers.h"

namespace korvane {

RunSettings KorvaneFRM::makeRunSettings() const
{
    const char sep = decimalSeparator();
    RunSettings run;
    run.delay = m_settings.Delay;
    run.onetime = m_settings.onetime;
    run.generationType = static_cast<int>(m_settings.GenerationType);
    run.removeHeader = m_settings.RemoveHeader == 1;
    run.headerString = m_settings.HeaderString;
    run.realLogs = m_settings.RealLogFile == 1;
    run.sourceFile = m_sourceFile;
    run.firewallName = m_settings.FirewallName;
    run.rewrite.srcIp = m_settings.SRC_IP;
    run.rewrite.dstIp = m_settings.DST_IP;
    run.rewrite.gatewayIp = m_settings.GTW_IP;
    run.rewrite.userName = m_settings.UserName;
    run.rewrite.sessionNum = numberToText(m_settings.SessionNum, sep);
    run.rewrite.elapsedTime = numberToText(m_settings.ElapsedTime, sep);
    return run;
}

void KorvaneFRM::onPlay()
{
    if (m_driver.running())
        return;
    m_runSettings = makeRunSettings();
    LineSink& sink = m_settings.SyslogFile == 0 ? static_cast<LineSink&>(m_fileSink) : m_udpSink;
    m_driver.start(
        std::make_unique<GenerationRun>(m_runSettings, m_flags, *this, sink, m_services.random, m_services.wallClock),
        m_runSettings.delay);
}

void KorvaneFRM::onPause()
{
    MMControl1->stopButton()->setEnabled(true);
    m_flags.Paused = m_flags.Paused == 0 ? 1 : 0;
}

void KorvaneFRM::onStop()
{
    m_flags.StopRequested = 1;
}

} // namespace korvane
