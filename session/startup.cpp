// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "session/startup.h"

#include "engine/linereader.h"
#include "platform/singleinstance.h"

#include <QLocale>

#include <filesystem>
#include <system_error>

namespace korvane {

char localeDecimalSeparator()
{
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point.at(0).unicode() < 0x80 ? point.at(0).toLatin1() : '.';
}

StartupResult runStartup(ProfileStore& profile, SingleInstanceLock* lock, bool readPositions, char decimalSeparator)
{
    StartupResult r;
    // A second copy goes without a word to the settings file: the running copy's place stays.
    if (lock != nullptr && !lock->tryAcquire()) {
        r.outcome = StartupResult::Outcome::Refused;
        r.notices.push_back(
            {Notice::Kind::Critical, QStringLiteral("Error"), QStringLiteral("Software already loaded.")});
        return r;
    }

    // From the first read to the last repair no other run reads or writes korvane.ini, so that
    // two runs started together do not write over each other's repairs.
    const ProfileLock held(profile);
    // An unreadable file cannot take repairs either (a write would be refused): the keys take
    // their defaults in use, and the one thing said is why the file was not read.
    const std::string problem = profile.problem();
    r.settingsProblem = QString::fromStdString(problem);
    SettingsLoader loader(profile,
                          problem.empty() ? SettingsLoader::Repairs::WriteBack : SettingsLoader::Repairs::None);
    const auto sayRepairs = [&] {
        r.repairs.clear();
        for (const std::string& line : loader.repairs()) {
            r.repairs.push_back(QString::fromStdString(line));
        }
    };
    if (readPositions) {
        r.positionX = loader.readPosition("PositionX");
        r.positionY = loader.readPosition("PositionY");
    }
    loader.loadRunKeys(r.settings);
    sayRepairs();
    r.config = runConfigFrom(r.settings, decimalSeparator);
    r.reached = StartupResult::Stage::RunKeys;

    if (r.config.run.generationType == -1) {
        const Result<std::int64_t> count = countLines(r.config.run.sourceFile);
        if (!count) {
            std::error_code ec;
            if (!std::filesystem::exists(r.config.run.sourceFile, ec)) {
                r.outcome = StartupResult::Outcome::SourceMissing;
                r.notices.push_back({Notice::Kind::Warning, QStringLiteral("No File"),
                                     QStringLiteral("Warning: The %1 file doesn't exists.")
                                         .arg(QString::fromStdString(r.config.run.sourceFile.string()))});
                return r;
            }
            r.failure = QStringLiteral("%1: %2").arg(QString::fromStdString(r.config.run.sourceFile.string()),
                                                     QString::fromStdString(count.reason()));
            return r;
        }
        r.sourceLineCount = count.value() - 1;
    }

    loader.loadTemplateKeys(r.settings);
    r.reached = StartupResult::Stage::TemplateKeys;
    loader.loadReceiverKeys(r.settings);
    loader.loadOutputFormatKeys(r.settings);
    loader.loadReplayKeys(r.settings);
    sayRepairs();
    r.config = runConfigFrom(r.settings, decimalSeparator);
    r.reached = StartupResult::Stage::ReceiverKeys;
    return r;
}

} // namespace korvane
