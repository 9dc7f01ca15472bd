// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/manifest.h"

#include "engine/linereader.h"
#include "engine/randomsource.h"
#include "engine/trafficmodel.h"
#include "session/destination.h"
#include "settings/atomicfile.h"
#include "settings/keytable.h"
#include "settings/numbers.h"
#include "version.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace korvane {

namespace {

std::string isoTime(const QDateTime& time)
{
    // An offset of its own, so that the text carries it ("+01:00"), whatever the zone.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs).toStdString();
}

QString text(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Reads the fields of one object, keeping the first that is missing or of the wrong kind.
class FieldReader
{
public:
    FieldReader(const QJsonObject& object, std::string where, std::string& fault)
        : m_object(object), m_where(std::move(where)), m_fault(fault)
    {}

    QJsonValue field(const char* name, QJsonValue::Type type)
    {
        const QJsonValue v = m_object.value(QLatin1String(name));
        if (v.type() != type && m_fault.empty()) {
            m_fault = "\"" + m_where + name + "\" is missing or not " +
                      (type == QJsonValue::String   ? "a text"
                       : type == QJsonValue::Double ? "a number"
                       : type == QJsonValue::Bool   ? "true or false"
                                                    : "an object");
        }
        return v;
    }
    std::string string(const char* name) { return field(name, QJsonValue::String).toString().toStdString(); }
    std::int64_t count(const char* name)
    {
        const double v = field(name, QJsonValue::Double).toDouble();
        if (v < 0 && m_fault.empty()) {
            m_fault = "\"" + m_where + name + "\" is below 0";
        }
        return static_cast<std::int64_t>(v);
    }
    QJsonObject object(const char* name) { return field(name, QJsonValue::Object).toObject(); }

private:
    const QJsonObject& m_object;
    std::string m_where;
    std::string& m_fault;
};

// The scenarios' truth of a run that made `lines` lines, drawing from `random` (as far on as it
// was at Play), made again: the model is deterministic, so the run need not keep it.
std::vector<ScenarioTruth> scenariosOf(const RunConfig& config, const std::vector<std::string>& catalogue,
                                       DefaultRandomSource random, std::uint64_t drawsBefore, std::int64_t lines)
{
    random.discard(drawsBefore);
    return scenariosOfRun(config.run, catalogue, random, lines);
}

QJsonArray scenariosJson(const std::vector<ScenarioTruth>& scenarios)
{
    QJsonArray all;
    for (const ScenarioTruth& s : scenarios) {
        QJsonArray targets;
        for (const std::string& target : s.targets) {
            targets.append(text(target));
        }
        all.append(QJsonObject{{"kind", text(scenarioName(s.kind))},
                               {"source", text(s.source)},
                               {"targets", targets},
                               {"first_line", static_cast<double>(s.firstLine)},
                               {"last_line", static_cast<double>(s.lastLine)},
                               {"lines", static_cast<double>(s.lines)}});
    }
    return all;
}

std::vector<ScenarioTruth> scenariosFromJson(const QJsonArray& all, std::string& fault)
{
    std::vector<ScenarioTruth> scenarios;
    for (const QJsonValue& value : all) {
        const QJsonObject object = value.toObject();
        FieldReader fields(object, "scenarios.", fault);
        ScenarioTruth s;
        const std::string kind = fields.string("kind");
        s.kind = kind == "bruteforce"  ? ScenarioKind::BruteForce
                 : kind == "denystorm" ? ScenarioKind::DenyStorm
                                       : ScenarioKind::PortScan;
        s.source = fields.string("source");
        for (const QJsonValue& target : object.value(QStringLiteral("targets")).toArray()) {
            s.targets.push_back(target.toString().toStdString());
        }
        s.firstLine = fields.count("first_line");
        s.lastLine = fields.count("last_line");
        s.lines = fields.count("lines");
        scenarios.push_back(std::move(s));
    }
    return scenarios;
}

} // namespace

std::map<std::string, std::string> settingsAsWritten(const Settings& s)
{
    std::map<std::string, std::string> keys;
    for (const KeyRow& row : keyTable()) {
        if (row.phase == Phase::Position || (row.when == When::Syslog && s.SyslogFile != 1)) {
            continue;
        }
        const Target& t = row.target;
        if (t.number != nullptr) {
            const double v = s.*t.number;
            keys[std::string(row.name)] = row.name == "TCP_Framing" && v < 0 ? std::string() : numberToText(v);
        } else {
            keys[std::string(row.name)] =
                t.group != nullptr ? (s.*t.group)[static_cast<std::size_t>(t.element)] : s.*t.text;
        }
    }
    return keys;
}

Result<Manifest> manifestOf(const Settings& settings, char decimalSeparator, const RunConfig& config,
                            const RunRecord& record, const RunProgress& progress,
                            std::vector<Manifest::Firewall> firewalls)
{
    if (!record.sourceSha256) {
        return record.sourceSha256.failure();
    }
    Manifest m;
    m.korvaneVersion = KORVANE_VERSION;
    m.settings = settingsAsWritten(settings);
    m.decimalSeparator = decimalSeparator;
    m.destination = destinationText(config).toStdString();
    m.sourceFile = record.sourceFile.filename().string();
    m.sourceSha256 = record.sourceSha256.value();
    m.randomDrawsBefore = record.randomDrawsBefore;
    m.sequenceIds = config.run.sequenceIds;
    m.started = isoTime(record.started);
    m.ended = isoTime(record.ended.isValid() ? record.ended : QDateTime::currentDateTime());
    m.lines = {progress.emitted, progress.delivered, progress.dropped, progress.undelivered, progress.resent};
    m.byId = record.tally.byId();
    m.bySeverity = record.tally.bySeverity();
    m.firewalls = std::move(firewalls);
    if (config.run.traffic.enabled && !config.run.traffic.scenarios.empty()) {
        const Result<std::vector<std::string>> read = readAllLines(record.sourceFile);
        const std::vector<std::string> catalogue = read ? read.value() : std::vector<std::string>{};
        if (m.firewalls.empty()) {
            m.scenarios =
                scenariosOf(config, catalogue, DefaultRandomSource(), record.randomDrawsBefore, m.lines.emitted);
        }
        // Each firewall of a fleet runs the scenarios on its own stream, so each has its own truth.
        for (Manifest::Firewall& f : m.firewalls) {
            f.scenarios =
                scenariosOf(config, catalogue, DefaultRandomSource(f.seed), f.randomDrawsBefore, f.lines.emitted);
        }
    }
    return m;
}

std::string manifestJson(const Manifest& m)
{
    QJsonObject settings;
    for (const auto& [key, value] : m.settings) {
        settings.insert(text(key), text(value));
    }
    QJsonObject byId;
    for (const auto& [id, lines] : m.byId) {
        byId.insert(text(id), static_cast<double>(lines));
    }
    QJsonObject bySeverity;
    for (std::size_t level = 0; level < m.bySeverity.size(); ++level) {
        bySeverity.insert(QString::number(level), static_cast<double>(m.bySeverity[level]));
    }
    const QJsonObject lines{{"emitted", static_cast<double>(m.lines.emitted)},
                            {"delivered", static_cast<double>(m.lines.delivered)},
                            {"dropped", static_cast<double>(m.lines.dropped)},
                            {"undelivered", static_cast<double>(m.lines.undelivered)},
                            {"resent", static_cast<double>(m.lines.resent)},
                            {"by_id", byId},
                            {"by_severity", bySeverity}};
    QJsonArray perSecond; // [second, emitted, sent, dropped]
    for (const RateLog::Row& row : m.perSecond) {
        perSecond.append(QJsonArray{static_cast<double>(row.second), static_cast<double>(row.emitted),
                                    static_cast<double>(row.sent), static_cast<double>(row.dropped)});
    }
    QJsonObject root{{"korvane_version", text(m.korvaneVersion)},
                     {"settings", settings},
                     {"decimal_separator", QString(QChar::fromLatin1(m.decimalSeparator))},
                     {"destination", text(m.destination)},
                     {"source", QJsonObject{{"file", text(m.sourceFile)}, {"sha256", text(m.sourceSha256)}}},
                     {"random_draws_before", static_cast<double>(m.randomDrawsBefore)},
                     {"sequence_ids", m.sequenceIds},
                     {"started", text(m.started)},
                     {"ended", text(m.ended)},
                     {"lines", lines},
                     {"per_second", perSecond}};
    if (!m.firewalls.empty()) {
        QJsonArray firewalls;
        for (const Manifest::Firewall& f : m.firewalls) {
            firewalls.append(
                QJsonObject{{"name", text(f.name)},
                            {"number", static_cast<double>(f.number)},
                            {"source_address", text(f.sourceAddress)},
                            {"seed", static_cast<double>(f.seed)},
                            {"random_draws_before", static_cast<double>(f.randomDrawsBefore)},
                            {"random_draws", static_cast<double>(f.randomDraws)},
                            {"lines", QJsonObject{{"emitted", static_cast<double>(f.lines.emitted)},
                                                  {"delivered", static_cast<double>(f.lines.delivered)},
                                                  {"dropped", static_cast<double>(f.lines.dropped)},
                                                  {"undelivered", static_cast<double>(f.lines.undelivered)},
                                                  {"resent", static_cast<double>(f.lines.resent)}}}});
            if (!f.scenarios.empty()) {
                QJsonObject withScenarios = firewalls.last().toObject();
                withScenarios.insert(QStringLiteral("scenarios"), scenariosJson(f.scenarios));
                firewalls.replace(firewalls.size() - 1, withScenarios);
            }
        }
        root.insert(QStringLiteral("firewalls"), firewalls);
    }
    // Only a run with scenarios says anything of them.
    if (!m.scenarios.empty()) {
        root.insert(QStringLiteral("scenarios"), scenariosJson(m.scenarios));
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

Result<Manifest> manifestFromJson(std::string_view json)
{
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (!document.isObject()) {
        return Failure{"not a manifest of a run: " +
                       (document.isNull() ? error.errorString().toStdString() : std::string("not a JSON object"))};
    }
    const QJsonObject root = document.object();
    std::string fault;
    FieldReader top(root, "", fault);
    Manifest m;
    m.korvaneVersion = top.string("korvane_version");
    const QJsonObject settings = top.object("settings");
    for (auto it = settings.begin(); it != settings.end(); ++it) {
        if (!it.value().isString() && fault.empty()) {
            fault = "\"settings." + it.key().toStdString() + "\" is not a text";
        }
        m.settings[it.key().toStdString()] = it.value().toString().toStdString();
    }
    const std::string separator = top.string("decimal_separator");
    m.decimalSeparator = separator.size() == 1 ? separator[0] : '.';
    m.destination = top.string("destination");
    const QJsonObject source = top.object("source");
    FieldReader sourceFields(source, "source.", fault);
    m.sourceFile = sourceFields.string("file");
    m.sourceSha256 = sourceFields.string("sha256");
    m.randomDrawsBefore = static_cast<std::uint64_t>(top.count("random_draws_before"));
    m.sequenceIds = top.field("sequence_ids", QJsonValue::Bool).toBool();
    m.started = top.string("started");
    m.ended = top.string("ended");
    const QJsonObject lines = top.object("lines");
    FieldReader counts(lines, "lines.", fault);
    m.lines = {counts.count("emitted"), counts.count("delivered"), counts.count("dropped"), counts.count("undelivered"),
               counts.count("resent")};
    const QJsonObject byId = counts.object("by_id");
    for (auto it = byId.begin(); it != byId.end(); ++it) {
        m.byId[it.key().toStdString()] = FieldReader(byId, "lines.by_id.", fault).count(qPrintable(it.key()));
    }
    const QJsonObject bySeverity = counts.object("by_severity");
    FieldReader levels(bySeverity, "lines.by_severity.", fault);
    for (std::size_t level = 0; level < m.bySeverity.size(); ++level) {
        m.bySeverity[level] = levels.count(std::to_string(level).c_str());
    }
    // Absent from a manifest of a run whose rate was not followed.
    for (const QJsonValue& value : root.value(QStringLiteral("per_second")).toArray()) {
        const QJsonArray row = value.toArray();
        if (row.size() != 4) {
            fault = "per_second holds a row that is not [second, emitted, sent, dropped]";
            break;
        }
        m.perSecond.push_back({row[0].toInteger(), row[1].toInteger(), row[2].toInteger(), row[3].toInteger()});
    }
    m.scenarios = scenariosFromJson(root.value(QStringLiteral("scenarios")).toArray(), fault);
    // Absent from a manifest of one firewall.
    for (const QJsonValue& value : root.value(QStringLiteral("firewalls")).toArray()) {
        const QJsonObject object = value.toObject();
        FieldReader f(object, "firewalls[].", fault);
        Manifest::Firewall firewall;
        firewall.name = f.string("name");
        firewall.number = f.count("number");
        firewall.sourceAddress = f.string("source_address");
        firewall.seed = static_cast<std::uint32_t>(f.count("seed"));
        firewall.randomDrawsBefore = static_cast<std::uint64_t>(f.count("random_draws_before"));
        firewall.randomDraws = static_cast<std::uint64_t>(f.count("random_draws"));
        const QJsonObject lines = f.object("lines");
        FieldReader c(lines, "firewalls[].lines.", fault);
        firewall.lines = {c.count("emitted"), c.count("delivered"), c.count("dropped"), c.count("undelivered"),
                          c.count("resent")};
        firewall.scenarios = scenariosFromJson(object.value(QStringLiteral("scenarios")).toArray(), fault);
        m.firewalls.push_back(std::move(firewall));
    }
    if (!fault.empty()) {
        return Failure{"not a manifest of a run: " + fault};
    }
    return m;
}

Result<> writeManifest(const Manifest& manifest, const std::filesystem::path& path)
{
    return replaceFileAtomically(path, manifestJson(manifest));
}

Result<Manifest> readManifest(const std::filesystem::path& path)
{
    const Result<std::string> content = readFileContent(path);
    if (!content) {
        return content.failure();
    }
    Result<Manifest> manifest = manifestFromJson(content.value());
    if (!manifest) {
        return Failure{path.string() + ": " + manifest.reason()};
    }
    return manifest;
}

} // namespace korvane
