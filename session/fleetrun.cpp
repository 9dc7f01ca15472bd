// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/fleetrun.h"

#include <QTimer>

#include <algorithm>

namespace korvane {

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

milliseconds roundedUpMilliseconds(nanoseconds left)
{
    const auto ms = std::chrono::ceil<milliseconds>(left);
    return milliseconds{std::clamp<milliseconds::rep>(ms.count(), 0, 24 * 3600 * 1000)};
}

nanoseconds fromSeconds(double seconds)
{
    return nanoseconds{static_cast<std::int64_t>(seconds * 1e9)};
}

} // namespace

std::vector<Manifest::Firewall> manifestEntries(const std::vector<FleetMemberReport>& members)
{
    std::vector<Manifest::Firewall> entries;
    entries.reserve(members.size());
    for (const FleetMemberReport& m : members) {
        Manifest::Firewall f;
        f.name = m.name;
        f.number = m.number;
        f.sourceAddress = m.sourceAddress;
        f.seed = m.seed;
        f.randomDraws = m.draws;
        f.lines = {m.emitted, m.counts.delivered, m.counts.dropped, m.counts.undelivered, m.counts.resent};
        entries.push_back(std::move(f));
    }
    return entries;
}

// One firewall: its own settings (its name), random stream, run and pacer. It never moves, as its
// run holds references to the rest.
struct FleetRun::Member final : public RunObserver
{
    enum class Step
    {
        Start,  // the first wait begins at its stagger
        Wait,   // waitOver() at the deadline
        Resume, // resume() after a yield or an idle pass
        Done
    };

    FleetRun& fleet;
    int number;
    RunSettings settings;
    DefaultRandomSource random;
    RunFlags flags; // never set: the fleet ends all its runs at once
    std::optional<GenerationRun> run;
    std::optional<RunPacer> pacer;
    Step next = Step::Start;
    bool waited = false;
    std::int64_t emitted = 0;

    Member(FleetRun& owner, int firewall) : fleet(owner), number(firewall), random(fleetSeed(firewall)) {}

    void lineEmitted(std::string_view line, std::int64_t) override
    {
        ++emitted;
        fleet.counted(line);
    }
    void runFailed(std::string_view reason) override
    {
        if (fleet.m_failure.empty()) {
            fleet.m_failure = settings.firewallName + ": " + std::string(reason);
        }
    }
};

FleetRun::FleetRun(const RunConfig& config, const FleetPlan& plan, FleetOutput& output, WallClock& wallClock,
                   MonotonicClock& clock, WakeUpTimer* timer, QObject* parent)
    : QObject(parent), m_config(config), m_plan(plan), m_output(output), m_wallClock(wallClock), m_clock(clock),
      m_ownTimer(timer ? nullptr : std::make_unique<PreciseWakeUpTimer>()), m_timer(timer ? *timer : *m_ownTimer)
{
    m_timer.setWake([this] { onTimer(); });
}

FleetRun::~FleetRun()
{
    m_timer.cancel();
    m_timer.setWake({});
    for (auto& member : m_members) {
        if (member->run) {
            member->run->abandon();
        }
    }
}

void FleetRun::start()
{
    if (m_running) {
        return;
    }
    m_members.clear();
    m_due = {};
    m_failure.clear();
    m_emitted = 0;
    m_finishing = false;
    m_endedAfterMs = -1;
    m_elapsed.start();
    m_record = RunRecord{};
    m_record.started = QDateTime::currentDateTime();
    m_record.sourceFile = m_config.run.sourceFile;
    if (m_recordsForManifest) {
        m_record.sourceSha256 = fileSha256(m_config.run.sourceFile);
    }
    const int width = fleetNameWidth(m_plan);
    const std::optional<RateProfile> profile = RateProfile::parse(m_config.run.rateProfile);
    // A profile staggers its firewalls over the gap of its first line, a delay over one delay.
    const double spread = profile ? 1.0 / std::max(1e-7, profile->rateAt(0)) : m_config.run.delay;
    m_shared.emplace(m_config.run);
    for (int i = 0; i < m_plan.count; ++i) {
        const int number = m_plan.firstNumber() + i;
        auto member = std::make_unique<Member>(*this, number);
        member->settings = m_config.run;
        member->settings.firewallName = fleetMemberName(m_config.run.firewallName, number, width);
        member->settings.scheduleStream = static_cast<std::uint64_t>(number - 1);
        if (profile) {
            member->pacer.emplace(m_clock, *profile, member->settings.scheduleStream);
        } else {
            member->pacer.emplace(m_clock, m_config.run.delay);
        }
        // The member stays where it was made: its run holds references to its parts.
        Member& m = *member;
        m.run.emplace(m.settings, m.flags, m, m_output.member(static_cast<std::size_t>(i)), m.random, m_wallClock);
        m.run->share(*m_shared);
        m_members.push_back(std::move(member));
    }
    // The staggers count from when every firewall is ready: ten thousand take a while to make, and
    // those whose stagger passed meanwhile would otherwise start together, a burst every delay.
    const nanoseconds now = m_clock.now();
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        m_due.push({now + fleetStagger(static_cast<int>(i), m_plan.count, spread), static_cast<std::uint32_t>(i)});
    }
    m_active = m_members.size();
    m_running = m_active > 0;
    if (!m_running) {
        end(false);
        return;
    }
    arm(now);
}

void FleetRun::counted(std::string_view line)
{
    ++m_emitted;
    if (m_recordsForManifest) {
        m_record.tally.count(line);
    }
    if (m_lineLimit > 0 && m_emitted >= m_lineLimit) {
        finish();
    }
}

void FleetRun::step(Member& member, nanoseconds now)
{
    switch (member.next) {
    case Member::Step::Start:
        handle(member, member.run->start(), now);
        return;
    case Member::Step::Wait:
        handle(member, member.run->waitOver(), now);
        return;
    case Member::Step::Resume:
        handle(member, member.run->resume(), now);
        return;
    case Member::Step::Done:
        return;
    }
}

void FleetRun::handle(Member& member, GenerationRun::Next next, nanoseconds now)
{
    const auto index = static_cast<std::uint32_t>(member.number - m_plan.firstNumber());
    switch (next) {
    case GenerationRun::Next::Wait: {
        const std::optional<double> fromLog = member.run->lineDelaySeconds();
        member.pacer->setDelay(fromLog.value_or(member.settings.delay));
        if (!member.waited) {
            member.pacer->begin();
            member.waited = true;
        } else {
            member.pacer->next(now);
        }
        member.next = Member::Step::Wait;
        m_due.push({member.pacer->deadline(), index});
        return;
    }
    case GenerationRun::Next::Idle:
        member.waited = false;
        member.next = Member::Step::Resume;
        m_due.push({now + fromSeconds(std::max(member.settings.delay, GenerationRun::kShortestIdleSeconds)), index});
        return;
    case GenerationRun::Next::Yield:
        member.next = Member::Step::Resume;
        m_due.push({now, index});
        return;
    case GenerationRun::Next::Finished:
    case GenerationRun::Next::Halted:
        member.next = Member::Step::Done;
        --m_active;
        if (next == GenerationRun::Next::Halted) {
            if (m_failure.empty()) { // the run's own reason came first, as a rule
                m_failure = member.settings.firewallName + ": the run failed";
            }
        }
        return;
    }
}

void FleetRun::onTimer()
{
    if (!m_running) {
        return;
    }
    nanoseconds now = m_clock.now();
    const nanoseconds budgetEnd = now + kBatchBudget;
    // Every firewall due goes, for a few milliseconds at most; each deadline counts from when its
    // wait was served, as in a single run.
    while (!m_due.empty() && m_due.top().at <= now && m_active > 0) {
        const Due due = m_due.top();
        m_due.pop();
        step(*m_members[due.index], now);
        if (m_finishing || !m_failure.empty()) {
            break; // the line limit was reached, or a firewall failed: the fleet ends
        }
        now = m_clock.now();
        if (now >= budgetEnd) {
            break;
        }
    }
    if (const FlushResult flushed = m_output.flush(); !flushed && m_failure.empty()) {
        m_failure = flushed.reason();
    }
    if (!m_failure.empty() || m_active == 0) {
        end(!m_failure.empty());
        return;
    }
    if (m_finishing) {
        return; // finish() ends the fleet from the event loop
    }
    arm(now);
}

void FleetRun::arm(nanoseconds now)
{
    if (m_due.empty()) {
        m_timer.arm(milliseconds{0});
        return;
    }
    m_timer.arm(roundedUpMilliseconds(std::max(nanoseconds{0}, m_due.top().at - now)));
}

void FleetRun::finish()
{
    if (!m_running || m_finishing) {
        return;
    }
    m_finishing = true;
    QTimer::singleShot(0, this, [this] {
        if (!m_running) {
            return;
        }
        (void)m_output.flush();
        end(false);
    });
}

void FleetRun::end(bool halted)
{
    m_timer.cancel();
    for (auto& member : m_members) {
        if (member->run && member->run->active()) {
            member->run->abandon();
        }
    }
    (void)m_output.flushAndWait();
    m_running = false;
    m_finishing = false;
    m_endedAfterMs = m_elapsed.elapsed();
    m_record.ended = QDateTime::currentDateTime();
    emit ended(halted);
}

RunProgress FleetRun::progress() const
{
    RunProgress p;
    p.emitted = m_emitted;
    const DeliveryCounts counts = m_output.counts();
    p.delivered = counts.delivered;
    p.dropped = counts.dropped;
    p.undelivered = counts.undelivered;
    p.resent = counts.resent;
    p.intoFile = m_config.output == OutputKind::File;
    p.sinkFailed = !m_failure.empty();
    if (m_elapsed.isValid()) {
        p.seconds = static_cast<double>(m_endedAfterMs >= 0 ? m_endedAfterMs : m_elapsed.elapsed()) / 1000.0;
    }
    return p;
}

std::vector<FleetMemberReport> FleetRun::members() const
{
    std::vector<FleetMemberReport> reports;
    reports.reserve(m_members.size());
    for (std::size_t i = 0; i < m_members.size(); ++i) {
        const Member& m = *m_members[i];
        reports.push_back({m.settings.firewallName, m.number, m_output.sourceAddress(i), fleetSeed(m.number),
                           m.random.draws(), m.emitted, m_output.countsOf(i)});
    }
    return reports;
}

} // namespace korvane
