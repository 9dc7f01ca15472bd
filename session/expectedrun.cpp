// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/expectedrun.h"

#include "engine/generationrun.h"
#include "engine/randomsource.h"
#include "settings/profile.h"
#include "settings/settings.h"

#include <string>

namespace korvane {

namespace {

// The manifest's keys as korvane.ini would hold them. Nothing is written back: the keys were
// repaired before the run.
class ManifestStore final : public ProfileStore
{
public:
    explicit ManifestStore(const std::map<std::string, std::string>& keys) : m_keys(keys) {}
    std::string read(std::string_view key) override
    {
        const auto it = m_keys.find(std::string(key));
        return it != m_keys.end() ? it->second : std::string();
    }
    bool write(std::string_view, std::string_view) override { return false; }

private:
    const std::map<std::string, std::string>& m_keys;
};

// The message of each line, until the run's count is reached.
class MessageSink final : public LineSink
{
public:
    MessageSink(std::int64_t lines, const std::function<void(std::string_view)>& message)
        : m_left(lines), m_message(message)
    {}
    SinkResult write(std::string_view line) override
    {
        if (m_left > 0) {
            --m_left;
            const std::size_t at = line.find("PIX-");
            line = at == std::string_view::npos ? std::string_view() : line.substr(at);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
                line.remove_suffix(1);
            }
            m_message(line);
        }
        return Delivery::Sent;
    }
    std::int64_t left() const { return m_left; }

private:
    std::int64_t m_left;
    const std::function<void(std::string_view)>& m_message;
};

class FailureNote final : public RunObserver
{
public:
    void runFailed(std::string_view reason) override { failure = reason; }
    std::string failure;
};

// Time stamps and headers are no part of a message: any time does.
class StillClock final : public WallClock
{
public:
    CivilDateTime now() override { return {{2026, 12, 8}, {0, 0, 0}}; }
};

} // namespace

RunConfig runConfigOf(const Manifest& manifest)
{
    ManifestStore store(manifest.settings);
    SettingsLoader loader(store, SettingsLoader::Repairs::None);
    Settings s;
    loader.loadRunKeys(s);
    loader.loadTemplateKeys(s);
    loader.loadReceiverKeys(s);
    loader.loadOutputFormatKeys(s);
    loader.loadReplayKeys(s);
    return runConfigFrom(s, manifest.decimalSeparator);
}

namespace {

// A run's messages again: `random` drawn as in the run, `lines` of them.
Result<> regenerate(const Manifest& manifest, const std::string& firewallName, DefaultRandomSource& random,
                    std::int64_t lines, const std::filesystem::path& folder,
                    const std::function<void(std::string_view message)>& message)
{
    RunConfig config = runConfigOf(manifest);
    if (!firewallName.empty()) {
        config.run.firewallName = firewallName;
    }
    const std::string name = config.run.sourceFile.string();
    if (name != manifest.sourceFile) {
        return Failure{"the manifest's settings read " + name + ", but its source is " + manifest.sourceFile};
    }
    config.run.sourceFile = folder / config.run.sourceFile;
    const Result<std::string> digest = fileSha256(config.run.sourceFile);
    if (!digest) {
        return digest.failure();
    }
    if (digest.value() != manifest.sourceSha256) {
        return Failure{name + " has changed since the run: its digest is " + digest.value() + ", not " +
                       manifest.sourceSha256};
    }

    RunFlags flags;
    FailureNote observer;
    MessageSink sink(lines, message);
    StillClock clock;
    GenerationRun run(config.run, flags, observer, sink, random, clock);
    GenerationRun::Next next = run.start();
    int idleInARow = 0;
    while (sink.left() > 0) {
        const std::int64_t before = sink.left();
        switch (next) {
        case GenerationRun::Next::Wait:
            next = run.waitOver();
            break;
        case GenerationRun::Next::Yield:
            next = run.resume();
            break;
        case GenerationRun::Next::Idle:
            // A pass without a line; a second in a row means no pass will give one.
            if (++idleInARow > 1) {
                run.abandon();
                return Failure{name + " gives no line the run would emit"};
            }
            next = run.resume();
            break;
        case GenerationRun::Next::Finished:
            return Failure{"the run ends after " + std::to_string(lines - sink.left()) + " lines, not " +
                           std::to_string(lines)};
        case GenerationRun::Next::Halted:
            return Failure{"the run failed: " + observer.failure};
        }
        if (sink.left() != before) {
            idleInARow = 0;
        }
    }
    run.abandon();
    return {};
}

} // namespace

Result<> regenerateMessages(const Manifest& manifest, const std::filesystem::path& folder,
                            const std::function<void(std::string_view message)>& message)
{
    DefaultRandomSource random;
    random.discard(manifest.randomDrawsBefore);
    return regenerate(manifest, {}, random, manifest.lines.emitted, folder, message);
}

Result<> regenerateMessages(const Manifest& manifest, std::size_t firewall, const std::filesystem::path& folder,
                            const std::function<void(std::string_view message)>& message)
{
    const Manifest::Firewall& f = manifest.firewalls.at(firewall);
    DefaultRandomSource random(f.seed);
    random.discard(f.randomDrawsBefore);
    Result<> done = regenerate(manifest, f.name, random, f.lines.emitted, folder, message);
    return done ? done : Result<>(Failure{f.name + ": " + done.reason()});
}

} // namespace korvane
