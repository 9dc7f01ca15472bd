// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A program whose work does not return, as one stuck in a write: it watches the termination
// signals (ending within the milliseconds given, when given), says so, and reads its standard
// input without ever running its event loop.
#include "platform/terminationsignals.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    korvane::TerminationSignals termination;
    if (argc == 2) {
        termination.endWithin(std::chrono::milliseconds(std::atoi(argv[1])));
    }
    std::puts("watching");
    std::fflush(stdout);
    char byte = 0;
    while (::read(STDIN_FILENO, &byte, 1) != 0) {
    }
    return 0;
}
