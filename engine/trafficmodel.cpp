// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "engine/trafficmodel.h"

#include "engine/trafficclock.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvane {

namespace {

using Kind = TrafficKind;

// Chances of what a new connection is: outbound UDP (names, time), outbound TCP, the rest
// inbound TCP to the inside's servers.
constexpr double kOutboundUdp = 0.15;
constexpr double kOutboundTcp = 0.55;
constexpr double kDenyOverUdp = 0.15;

// Lifetimes are lognormal with this sigma: most are short, a few last many times the mean.
constexpr double kLifetimeSigma = 1.0;
// A scan's try that gets through is answered and closed at once, on average in a second.
constexpr double kProbeLifetime = 1.0;
// Bytes are Pareto: the smallest count, and a shape that gives a heavy tail (a mean, no variance).
constexpr double kLeastTcpBytes = 200;
constexpr double kLeastUdpBytes = 60;
constexpr double kBytesShape = 1.2;
constexpr double kMostBytes = 1e12;
// A scan's try that is not denied.
constexpr double kProbeLetThrough = 0.15;

template <typename T, std::size_t N>
struct Weighted
{
    std::array<T, N> values;
    std::array<double, N> weights; // adding up to 1
    T pick(double r) const
    {
        for (std::size_t i = 0; i + 1 < N; ++i) {
            if (r < weights[i]) {
                return values[i];
            }
            r -= weights[i];
        }
        return values[N - 1];
    }
};

constexpr Weighted<int, 4> kTcpServices{{443, 80, 25, 22}, {0.45, 0.35, 0.1, 0.1}};
constexpr Weighted<int, 2> kUdpServices{{53, 123}, {0.8, 0.2}};
// What background denies are aimed at. With the services, nine ports: fewer than a scan's ten, so
// that no busy host of the background looks like a scan.
constexpr Weighted<int, 5> kRefusedPorts{{23, 135, 445, 3389, 8080}, {0.25, 0.15, 0.25, 0.2, 0.15}};

enum Reason : std::uint8_t
{
    Fins,
    ResetInside,
    ResetOutside,
    SynTimeout,
    ConnTimeout,
    NoReason
};
constexpr std::array<std::string_view, 6> kReasonTexts{"TCP FINs",    "TCP Reset-I",  "TCP Reset-O",
                                                       "SYN Timeout", "Conn-timeout", ""};
constexpr Weighted<std::uint8_t, 5> kTcpReasons{{Fins, ResetInside, ResetOutside, SynTimeout, ConnTimeout},
                                                {0.7, 0.1, 0.1, 0.05, 0.05}};

constexpr std::array<Kind, 4> kBackgroundDenies{Kind::DenyByAccessGroup, Kind::DenyInbound, Kind::DenyNoConnection,
                                                Kind::DenyByAcl};
constexpr std::array<double, 4> kBackgroundDenyWeights{0.5, 0.2, 0.15, 0.15};
constexpr std::array<Kind, 4> kProbeDenies{Kind::DenyByAccessGroup, Kind::DenyInbound, Kind::DenyByAcl,
                                           Kind::DenyByAcl};
constexpr std::array<double, 4> kProbeDenyWeights{0.5, 0.25, 0.25, 0};

// Failed logins and the success that goes with each, preferred in this order.
constexpr std::array<std::pair<Kind, Kind>, 3> kLogins{{{Kind::AuthenticationFailed, Kind::AuthenticationOk},
                                                        {Kind::LoginDenied, Kind::LoginPermitted},
                                                        {Kind::UserAuthFailed, Kind::UserAuthOk}}};

// A step that opens or closes a connection takes 1 + kOutboundTcp lines on average (a translated
// one has a second message); a deny step one. The chance of a deny step that makes denies
// `share` of the lines.
double denyStepShare(double share)
{
    const double lines = 1 + kOutboundTcp;
    return share >= 1 ? 1 : share * lines / (1 - share + share * lines);
}

std::vector<ScenarioPlan> plansOf(const TrafficSettings& traffic)
{
    return parseScenarios(traffic.scenarios).value_or(std::vector<ScenarioPlan>{});
}

bool isBuilt(Kind kind)
{
    return kind == Kind::BuiltTcp || kind == Kind::BuiltUdp;
}

bool isTeardown(Kind kind)
{
    return kind == Kind::TeardownTcp || kind == Kind::TeardownUdp;
}

} // namespace

TrafficModel::TrafficModel(const RunSettings& settings, std::span<const std::string> catalogue, RandomSource& random)
    : m_random(random), m_catalogue(catalogue), m_outside(settings.traffic.srcNet, settings.rewrite.srcIp),
      m_inside(settings.traffic.dstNet, settings.rewrite.dstIp), m_gateway(settings.rewrite.gatewayIp),
      m_user(settings.rewrite.userName),
      m_scenarios(plansOf(settings.traffic), denyStepShare(settings.traffic.denyShare)),
      m_connections(static_cast<std::size_t>(std::max(1, settings.traffic.connections))),
      m_meanDuration(settings.traffic.meanDuration > 0 ? settings.traffic.meanDuration : 30),
      m_denyStepShare(denyStepShare(settings.traffic.denyShare)),
      m_severity(settings.generationType >= 1 && settings.generationType <= 7 ? settings.generationType : 0)
{
    m_slots.reserve(m_connections + 1);
    m_due.reserve(m_connections + 1);
}

bool TrafficModel::dueLater(const Due& a, const Due& b)
{
    return a.dueUs > b.dueUs || (a.dueUs == b.dueUs && a.slot > b.slot);
}

bool TrafficModel::make(std::int64_t line, double now, std::string& out)
{
    const auto nowUs = static_cast<std::int64_t>(std::llround(now * 1e6));
    for (int steps = 0; steps < kMostSteps;) {
        if (m_pendingCount == 0) {
            step(nowUs);
            ++steps;
            continue;
        }
        const Event e = m_pending[m_pendingFirst];
        m_pendingFirst = (m_pendingFirst + 1) % m_pending.size();
        --m_pendingCount;
        if (isBuilt(e.kind)) {
            m_slots[e.slot].builtUs = nowUs; // its time is that of the line saying it, sent or not
        }
        const TrafficCatalogue::Template* t = m_catalogue.pick(e.kind, e.c.protocol, e.c.inbound, m_random.next());
        if (t == nullptr || (m_severity != 0 && t->severity != m_severity)) {
            continue; // made, not emitted: the model goes on as if it had been
        }
        out.clear();
        render(e, *t, out);
        if (e.scenario >= 0) {
            m_scenarios.noteLine(e.scenario, line);
        }
        return true;
    }
    return false;
}

void TrafficModel::step(std::int64_t nowUs)
{
    if (const std::optional<ScenarioMove> move =
            m_scenarios.next(static_cast<double>(nowUs) / 1e6, m_random, m_outside, m_inside)) {
        scenarioStep(*move, nowUs);
        return;
    }
    if (m_random.next() < m_denyStepShare) {
        const std::uint32_t outside = m_outside.popular(m_random);
        const std::uint32_t inside = m_inside.popular(m_random);
        deny(outside, inside, kRefusedPorts.pick(m_random.next()), -1);
        return;
    }
    if (!m_due.empty() && (m_due.front().dueUs <= nowUs || m_due.size() >= m_connections)) {
        close(nowUs);
        return;
    }
    open(fresh(nowUs), nowUs, m_meanDuration);
}

void TrafficModel::scenarioStep(const ScenarioMove& move, std::int64_t nowUs)
{
    const auto scenario = static_cast<std::int8_t>(move.scenario);
    switch (move.act) {
    case ScenarioMove::Act::Probe:
        if (m_random.next() < kProbeLetThrough) {
            Connection c;
            c.outside = move.outside;
            c.inside = move.inside;
            c.outsidePort = static_cast<std::uint16_t>(ephemeralPort());
            c.insidePort = static_cast<std::uint16_t>(move.insidePort);
            c.mappedPort = c.insidePort;
            c.inbound = true;
            c.scenario = scenario;
            open(c, nowUs, kProbeLifetime);
            return;
        }
        pushInbound(denyKind(kProbeDenies, kProbeDenyWeights), move, scenario);
        return;
    case ScenarioMove::Act::StormDeny:
        deny(move.outside, move.inside, kRefusedPorts.pick(m_random.next()), scenario);
        return;
    case ScenarioMove::Act::LoginFailed:
    case ScenarioMove::Act::LoginOk: {
        const auto* pair =
            std::find_if(kLogins.begin(), kLogins.end(), [&](const auto& p) { return m_catalogue.has(p.first); });
        pair = pair == kLogins.end() ? kLogins.begin() : pair;
        pushInbound(move.act == ScenarioMove::Act::LoginOk ? pair->second : pair->first, move, scenario);
        return;
    }
    }
}

// One message of a scenario's move, from a fresh port of its outside host to its inside host.
void TrafficModel::pushInbound(TrafficKind kind, const ScenarioMove& move, std::int8_t scenario)
{
    Event e;
    e.kind = kind;
    e.c.outside = move.outside;
    e.c.inside = move.inside;
    e.c.outsidePort = static_cast<std::uint16_t>(ephemeralPort());
    e.c.insidePort = static_cast<std::uint16_t>(move.insidePort);
    e.c.inbound = true;
    e.scenario = scenario;
    push(e);
}

void TrafficModel::deny(std::uint32_t outside, std::uint32_t inside, int insidePort, std::int8_t scenario)
{
    Event e;
    e.kind = denyKind(kBackgroundDenies, kBackgroundDenyWeights);
    e.c.outside = outside;
    e.c.inside = inside;
    e.c.outsidePort = static_cast<std::uint16_t>(ephemeralPort());
    e.c.insidePort = static_cast<std::uint16_t>(insidePort);
    e.c.protocol = m_random.next() < kDenyOverUdp ? TrafficProtocol::Udp : TrafficProtocol::Tcp;
    e.c.inbound = true;
    e.scenario = scenario;
    push(e);
}

TrafficModel::Connection TrafficModel::fresh(std::int64_t nowUs)
{
    Connection c;
    c.builtUs = nowUs;
    const double way = m_random.next();
    c.outside = m_outside.popular(m_random);
    c.inside = m_inside.popular(m_random);
    const auto ephemeral = static_cast<std::uint16_t>(ephemeralPort());
    if (way < kOutboundTcp) {
        c.protocol = way < kOutboundUdp ? TrafficProtocol::Udp : TrafficProtocol::Tcp;
        const double service = m_random.next();
        c.outsidePort = static_cast<std::uint16_t>(c.protocol == TrafficProtocol::Udp ? kUdpServices.pick(service)
                                                                                      : kTcpServices.pick(service));
        c.insidePort = ephemeral;
        c.mappedPort = static_cast<std::uint16_t>(ephemeralPort());
        c.translated = true; // the inside's hosts go out through the gateway's address
    } else {
        c.inbound = true;
        c.outsidePort = ephemeral;
        c.insidePort = static_cast<std::uint16_t>(kTcpServices.pick(m_random.next()));
        c.mappedPort = c.insidePort;
    }
    return c;
}

void TrafficModel::open(Connection c, std::int64_t nowUs, double meanSeconds)
{
    c.id = m_nextId++;
    c.builtUs = nowUs;
    c.dueUs = nowUs + std::max<std::int64_t>(1, std::llround(lifetimeSeconds(meanSeconds) * 1e6));
    std::uint32_t slot = 0;
    if (m_freeSlots.empty()) {
        slot = static_cast<std::uint32_t>(m_slots.size());
        m_slots.push_back(c);
    } else {
        slot = m_freeSlots.back();
        m_freeSlots.pop_back();
        m_slots[slot] = c;
    }
    m_due.push_back({c.dueUs, slot});
    std::push_heap(m_due.begin(), m_due.end(), dueLater);
    Event e;
    e.c = c;
    e.slot = slot;
    e.scenario = c.scenario;
    if (c.translated) {
        e.kind = Kind::BuiltTranslation;
        push(e);
    }
    e.kind = c.protocol == TrafficProtocol::Udp ? Kind::BuiltUdp : Kind::BuiltTcp;
    push(e);
}

void TrafficModel::close(std::int64_t nowUs)
{
    std::pop_heap(m_due.begin(), m_due.end(), dueLater);
    const std::uint32_t slot = m_due.back().slot;
    m_due.pop_back();
    const Connection c = m_slots[slot];
    m_freeSlots.push_back(slot);
    Event e;
    e.c = c;
    e.durationSeconds = (nowUs - c.builtUs) / 1'000'000;
    const bool udp = c.protocol == TrafficProtocol::Udp;
    e.reason = udp ? static_cast<std::uint8_t>(NoReason) : kTcpReasons.pick(m_random.next());
    const double tail = std::pow(1 - m_random.next(), -1 / kBytesShape);
    e.bytes = e.reason == SynTimeout
                  ? 0
                  : static_cast<std::uint64_t>(std::min(kMostBytes, (udp ? kLeastUdpBytes : kLeastTcpBytes) * tail));
    e.kind = udp ? Kind::TeardownUdp : Kind::TeardownTcp;
    push(e);
    if (c.translated) {
        e.kind = Kind::TeardownTranslation;
        push(e);
    }
}

void TrafficModel::push(const Event& e)
{
    if (m_pendingCount < m_pending.size()) {
        m_pending[(m_pendingFirst + m_pendingCount) % m_pending.size()] = e;
        ++m_pendingCount;
    }
}

TrafficKind TrafficModel::denyKind(const std::array<TrafficKind, 4>& kinds, const std::array<double, 4>& weights)
{
    double present = 0;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        present += m_catalogue.has(kinds[i]) ? weights[i] : 0;
    }
    double r = m_random.next() * present;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        if (m_catalogue.has(kinds[i]) && weights[i] > 0) {
            if (r < weights[i]) {
                return kinds[i];
            }
            r -= weights[i];
        }
    }
    return kinds.front(); // none present, or rounding: made, then skipped if absent
}

int TrafficModel::ephemeralPort()
{
    return 1024 + std::min(64511, static_cast<int>(m_random.next() * 64512));
}

double TrafficModel::lifetimeSeconds(double mean)
{
    const double u1 = 1 - m_random.next(); // in (0, 1]
    const double u2 = m_random.next();
    const double z = std::sqrt(-2 * std::log(u1)) * std::cos(2 * std::numbers::pi * u2);
    const double mu = std::log(mean) - kLifetimeSigma * kLifetimeSigma / 2;
    return std::exp(mu + kLifetimeSigma * z);
}

void TrafficModel::render(const Event& e, const TrafficCatalogue::Template& t, std::string& out)
{
    const Connection& c = e.c;
    const std::string_view outside = m_outside.text(c.outside, m_buffers[0]);
    const std::string_view inside = m_inside.text(c.inside, m_buffers[1]);
    TrafficValues v;
    v.user = m_user;
    v.interface = "outside";
    v.reason = kReasonTexts[e.reason];
    v.durationSeconds = e.durationSeconds;
    v.numbers = {c.id, e.bytes};
    using Endpoint = TrafficValues::Endpoint;
    if (isBuilt(e.kind)) {
        v.endpoints = {Endpoint{outside, c.outsidePort}, Endpoint{outside, c.outsidePort},
                       Endpoint{inside, c.insidePort}, Endpoint{m_gateway, c.mappedPort}};
    } else if (e.kind == Kind::BuiltTranslation || e.kind == Kind::TeardownTranslation) {
        v.endpoints = {Endpoint{inside, c.insidePort}, Endpoint{m_gateway, c.mappedPort}, Endpoint{}, Endpoint{}};
    } else {
        v.endpoints = {Endpoint{outside, c.outsidePort}, Endpoint{inside, c.insidePort}, Endpoint{}, Endpoint{}};
    }
    if (!isBuilt(e.kind) && !isTeardown(e.kind)) {
        v.numbers = {0, 0};
    }
    TrafficCatalogue::fill(t, v, out);
}

std::vector<ScenarioTruth> scenariosOfRun(const RunSettings& settings, std::span<const std::string> catalogue,
                                          RandomSource& random, std::int64_t lines)
{
    TrafficModel model(settings, catalogue, random);
    TrafficClock clock(settings);
    std::string message;
    // A line the model could not make is tried again at the next cycle, as the run does; a run
    // that never got past one did not emit it. Past the last window the rest would change nothing.
    constexpr int kMostMisses = 64;
    int misses = 0;
    for (std::int64_t line = 1; line <= lines && misses < kMostMisses && !model.scenariosOver();) {
        if (model.make(line, clock.timeOf(line), message)) {
            ++line;
            misses = 0;
        } else {
            ++misses;
        }
    }
    return model.scenarios();
}

} // namespace korvane
