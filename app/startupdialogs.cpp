// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "app/startupdialogs.h"

namespace korvane {

namespace {

MessageService::Icon iconFor(Notice::Kind kind)
{
    switch (kind) {
    case Notice::Kind::Critical:
        return MessageService::Icon::Critical;
    case Notice::Kind::Warning:
        return MessageService::Icon::Warning;
    case Notice::Kind::Information:
        break;
    }
    return MessageService::Icon::Information;
}

} // namespace

bool StartupDialogs::showNotices(const std::vector<Notice>& notices)
{
    for (const Notice& notice : notices) {
        if (m_messages.notify(iconFor(notice.kind), notice.title, notice.text) == MessageService::Answer::Interrupted) {
            return false;
        }
    }
    return true;
}

std::optional<FileSink::Mode> StartupDialogs::askOutputFileMode()
{
    const auto answer =
        m_messages.ask(MessageService::Icon::Information, QStringLiteral("No File"),
                       QStringLiteral("The Generate.txt file exists.") + QStringLiteral("\r\n\r\n") +
                           QStringLiteral("Do you want add the logs (Yes). If No, a new file will be create."));
    if (answer == MessageService::Answer::Interrupted) {
        return std::nullopt;
    }
    return answer == MessageService::Answer::No ? FileSink::Mode::Truncate : FileSink::Mode::Append;
}

} // namespace korvane
