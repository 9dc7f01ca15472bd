// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "app/messageservice.h"
#include "platform/filesink.h"
#include "session/startup.h"

#include <optional>
#include <vector>

namespace korvane {

// The operator's part of start-up: its notices, one box after the other, and the question put
// when the output file is there already. A termination signal that closes a box ends start-up.
class StartupDialogs
{
public:
    explicit StartupDialogs(MessageService& messages) : m_messages(messages) {}

    // False when a termination signal closed a box: nothing more is shown.
    bool showNotices(const std::vector<Notice>& notices);
    // How the existing output file is opened: appended to, or emptied on a plain No. Nothing when
    // a termination signal closed the question, so that everything is left as it is.
    std::optional<FileSink::Mode> askOutputFileMode();

private:
    MessageService& m_messages;
};

} // namespace korvane
