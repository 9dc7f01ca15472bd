// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

#include "settings/profile.h"
#include "settings/runconfig.h"
#include "settings/settings.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace korvane {

class SingleInstanceLock;

// A message for the operator: a message box in the window, a line on standard error from the
// command line.
struct Notice
{
    enum class Kind
    {
        Critical,
        Warning,
        Information
    };
    Kind kind = Kind::Information;
    QString title;
    QString text;

    friend bool operator==(const Notice&, const Notice&) = default;
};

// What start-up found, as data for a front-end to present. The steps run in a fixed order and
// stop at the first that ends the program or fails; `reached` says how far they got, so that a
// front-end shows exactly the settings that were read.
struct StartupResult
{
    enum class Outcome
    {
        Go,           // go on: prepare the output (unless `failure` is set) and show the window
        Refused,      // another copy runs: show the notice and end
        SourceMissing // the source to be counted is absent: show the notice, end as a close would
    };
    enum class Stage
    {
        Lock,         // nothing read yet
        RunKeys,      // RealLogFile, Delay, onetime, GenerationType (and the positions)
        TemplateKeys, // up to SyslogFile
        ReceiverKeys  // all keys in use: start-up may go on to the output
    };

    Outcome outcome = Outcome::Go;
    Stage reached = Stage::Lock;
    std::vector<Notice> notices; // to show, in order, before going on or ending
    // One line per value of korvane.ini that was replaced, for standard error and the settings
    // panel's tooltip: 'korvane.ini: Protocol "TPC" is not UDP, TCP, TLS or RELP; UDP written back'.
    std::vector<QString> repairs;
    // Not empty when korvane.ini could not be read at all (a folder, a link loop, no permission):
    // why, naming the file. The keys then took their defaults, and nothing was written or said
    // in `repairs`.
    QString settingsProblem;
    QString failure;      // not empty: start-up stopped here; "Unknown Error !!!" with this reason
    double positionX = 0; // twips, as stored
    double positionY = 0;
    Settings settings;                // as read and repaired, up to `reached`
    RunConfig config;                 // the typed settings (meaningful from TemplateKeys on)
    std::int64_t sourceLineCount = 0; // lines of the source minus one, counted for random selection
};

// The decimal separator of the user's locale, where it is a single plain character; "." otherwise.
// Numbers shown to the operator and put into lines are written with it.
char localeDecimalSeparator();

// Start-up up to the output: the single-copy check (when a lock is given), the positions (when
// asked for), the keys of korvane.ini read, tested and repaired in their order, and the source
// counted when random selection is configured. The profile's lock is held from the first read
// of korvane.ini to its last repair.
StartupResult runStartup(ProfileStore& profile, SingleInstanceLock* lock, bool readPositions, char decimalSeparator);

} // namespace korvane
