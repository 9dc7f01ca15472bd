// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace korvane::harkwell {

// What the syslog header at the start of a message says about it.
struct SyslogHeader
{
    bool hasPriority = false; // the message starts with a valid <PRI>
    int facility = 0;         // PRI / 8, 0 to 23; meaningful only with hasPriority
    int severity = 0;         // PRI % 8, 0 (emergency) to 7 (debug); meaningful only with hasPriority
    QByteArray host;          // empty when no complete header names one, or it names none ("-")
};

// Reads the header of one message, without its line end. A valid <PRI> (0 to 191, no leading zero but in <0>)
// gives facility and severity even when what follows is no known header, because the priority alone already
// says where and how urgently the sender filed it. The host comes only from a complete header in either form:
//   <PRI>Mmm dd hh:mm:ss HOST MSG                                  (BSD form; the day as " 7" or "07")
//   <PRI>Mmm dd yyyy hh:mm:ss HOST : MSG                           (the same with the year, as the firewall sends it)
//   <PRI>1 TIMESTAMP HOST APP-NAME PROCID MSGID STRUCTURED-DATA MSG (version 1 form, each field possibly "-")
// Anything else, the date-first form without <PRI> included, decodes to no header at all.
[[nodiscard]] SyslogHeader decodeSyslogHeader(QByteArrayView message);

// The host a message names, as a view into it, without copying: the host of decodeSyslogHeader(), or, for a
// message without <PRI>, that of Korvane's date-first header "dd Mmm yyyy hh:mm:ss  HOST MSG", which names the
// firewall too. Empty when the message names none.
[[nodiscard]] QByteArrayView headerHost(QByteArrayView message);

// The message without one trailing LF, CR LF or CR.
[[nodiscard]] inline QByteArrayView withoutLineEnd(QByteArrayView message)
{
    if (message.endsWith('\n')) {
        message.chop(1);
    }
    if (message.endsWith('\r')) {
        message.chop(1);
    }
    return message;
}

// The value of parameter name in the structured data element element of a message in the version 1 form, with
// its escapes (\", \\ and \]) undone: "[meta sequenceId="17"]" gives "17" for "meta" and "sequenceId", wherever
// the element stands among the others and the parameter among its own. Nothing when the message is not in that
// form, its structured data is malformed, or holds no such parameter; the first one counts if it is there twice.
[[nodiscard]] std::optional<QByteArray> structuredDataParam(QByteArrayView message, QByteArrayView element,
                                                            QByteArrayView name);

// "Jan" to "Dec", as the BSD form writes the month.
[[nodiscard]] bool isMonthAbbreviation(QByteArrayView text);

} // namespace korvane::harkwell
