// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// A second copy of Korvane as far as the single-copy lock is concerned: takes the lock named on
// its command line, says whether it got it, and keeps it until its standard input closes.
#include "platform/singleinstance.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s LOCKFILE\n", argv[0]);
        return 2;
    }
    korvane::SingleInstanceLock lock(QString::fromLocal8Bit(argv[1]));
    const bool held = lock.tryAcquire();
    std::puts(held ? "held" : "refused");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return held ? 0 : 1;
}
