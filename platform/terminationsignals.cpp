// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#include "platform/terminationsignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace korvane {

namespace {

constexpr int kWatchedSignals[] = {SIGTERM, SIGINT, SIGHUP};

// What the handler reaches, since it cannot reach the object: the write ends of the pipes (the
// event loop's and the watchdog's) and how many signals came.
volatile sig_atomic_t g_writeEnd = -1;
volatile sig_atomic_t g_watchdogEnd = -1;
std::atomic<int> g_signalsSeen{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler counts without a lock");

// Ends the process as `signalNumber` ends a program by default: the default handling back, and
// the signal raised again (it comes once the handler that raises it returns).
void endAsTheSignalWould(int signalNumber)
{
    struct sigaction action
    {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signalNumber, &action, nullptr);
    ::kill(::getpid(), signalNumber);
}

extern "C" void forwardSignal(int signalNumber)
{
    const int savedErrno = errno;
    if (g_signalsSeen.fetch_add(1) > 0) {
        endAsTheSignalWould(signalNumber);
        errno = savedErrno;
        return;
    }
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a wake-up for the loop, so a lost byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &byte, 1);
    if (g_watchdogEnd >= 0) {
        [[maybe_unused]] const ssize_t told = ::write(g_watchdogEnd, &byte, 1);
    }
    errno = savedErrno;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action
    {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : kWatchedSignals) {
        ::sigaction(signalNumber, &action, nullptr);
    }
}

// The watchdog: waits for the first signal's number (0: the program ends by itself), then for
// `grace`, and ends the process unless told meanwhile that it ends by itself.
void watch(int readEnd, std::chrono::milliseconds grace)
{
    unsigned char signalNumber = 0;
    ssize_t got = 0;
    do {
        got = ::read(readEnd, &signalNumber, 1);
    } while (got < 0 && errno == EINTR);
    if (got != 1 || signalNumber == 0) {
        return;
    }
    pollfd told{readEnd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&told, 1, static_cast<int>(grace.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready > 0) {
        return; // the program is ending by itself
    }
    endAsTheSignalWould(signalNumber);
    // Delivered to another thread (this one blocks it); nothing more to do here.
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
    g_signalsSeen = 0;
    g_writeEnd = m_pipe[1];
    setHandler(forwardSignal);
}

TerminationSignals::~TerminationSignals()
{
    if (m_watchdog.joinable()) {
        g_watchdogEnd = -1;
        const unsigned char ending = 0;
        [[maybe_unused]] const ssize_t told = ::write(m_watchdogPipe[1], &ending, 1);
        m_watchdog.join();
        ::close(m_watchdogPipe[0]);
        ::close(m_watchdogPipe[1]);
    }
    if (!m_notifier) {
        return;
    }
    setHandler(SIG_DFL);
    g_writeEnd = -1;
    m_notifier.reset();
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void TerminationSignals::endWithin(std::chrono::milliseconds grace)
{
    if (!m_notifier || m_watchdog.joinable() || ::pipe2(m_watchdogPipe, O_CLOEXEC) != 0) {
        return;
    }
    // The handler never waits on a full pipe.
    ::fcntl(m_watchdogPipe[1], F_SETFL, O_NONBLOCK);
    // The watchdog blocks the watched signals, so that they interrupt the thread that does the work.
    sigset_t watched;
    sigset_t before;
    sigemptyset(&watched);
    for (const int signalNumber : kWatchedSignals) {
        sigaddset(&watched, signalNumber);
    }
    ::pthread_sigmask(SIG_BLOCK, &watched, &before);
    m_watchdog = std::thread(watch, m_watchdogPipe[0], grace);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    g_watchdogEnd = m_watchdogPipe[1];
}

void TerminationSignals::readPipe()
{
    unsigned char byte = 0;
    while (::read(m_pipe[0], &byte, 1) == 1) {
        emit terminationRequested(byte);
    }
}

} // namespace korvane
