// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// Lines per second over TCP and TLS at the smallest Delay: the templates of SAMPLE.TXT go through
// the run driver and the stream sink to a receiver thread on 127.0.0.1 that reads, decrypts and
// counts every message, as a collector would. The rate counts a line when the receiver has it.
// Then the same over RELP to rsyslogd's imrelp on 127.0.0.1 (counted when acknowledged), once
// undisturbed and once with rsyslogd restarted twice during the row: what the receiver then lacks,
// and what it stored twice. A measurement, not a test: run it by hand on a release build.
//
//     bench_stream [seconds per row, default 5]

#include "engine/generationrun.h"
#include "platform/relpsink.h"
#include "platform/rundriver.h"
#include "platform/streamsink.h"
#include "platform/systemwallclock.h"
#include "rsyslogkit.h"
#include "shippedsettings.h"
#include "tests/support/testpki.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <unordered_set>

#include <sys/resource.h>

using namespace korvane;
using Clock = std::chrono::steady_clock;

namespace {

// Counts the messages of one framed stream, whatever way the bytes are cut.
class FrameCounter
{
public:
    explicit FrameCounter(StreamFraming framing) : m_framing(framing) {}

    std::int64_t add(const char* data, std::int64_t size)
    {
        std::int64_t messages = 0;
        for (std::int64_t i = 0; i < size;) {
            if (m_framing == StreamFraming::LineFeed) {
                messages += data[i++] == '\n';
            } else if (m_skip > 0) {
                const std::int64_t step = std::min(m_skip, size - i);
                m_skip -= step;
                i += step;
                messages += m_skip == 0;
            } else if (data[i] == ' ') {
                m_skip = m_length;
                m_length = 0;
                ++i;
            } else {
                m_length = m_length * 10 + (data[i++] - '0');
            }
        }
        return messages;
    }

private:
    StreamFraming m_framing;
    std::int64_t m_length = 0;
    std::int64_t m_skip = 0;
};

// A receiver on 127.0.0.1 in a thread of its own, with its own event loop.
class StreamReceiver
{
public:
    StreamReceiver(StreamFraming framing, const std::optional<QSslConfiguration>& tls)
    {
        std::atomic<bool> ready{false};
        m_thread.reset(QThread::create([this, framing, tls, &ready] {
            std::unique_ptr<QTcpServer> server;
            if (tls) {
                auto sslServer = std::make_unique<QSslServer>();
                sslServer->setSslConfiguration(*tls);
                server = std::move(sslServer);
            } else {
                server = std::make_unique<QTcpServer>();
            }
            server->listen(QHostAddress::LocalHost, 0);
            m_port = server->serverPort();
            QEventLoop loop;
            m_loop = &loop;
            QObject::connect(server.get(), &QTcpServer::pendingConnectionAvailable, [&] {
                while (QTcpSocket* socket = server->nextPendingConnection()) {
                    auto counter = std::make_shared<FrameCounter>(framing);
                    QObject::connect(socket, &QIODevice::readyRead, [this, socket, counter] {
                        static thread_local char buffer[1 << 20];
                        for (qint64 n; (n = socket->read(buffer, sizeof buffer)) > 0;) {
                            m_messages += counter->add(buffer, n);
                            m_last = Clock::now().time_since_epoch().count();
                        }
                    });
                }
            });
            ready = true;
            loop.exec();
        }));
        m_thread->start();
        while (!ready) {
            QThread::msleep(1);
        }
    }

    ~StreamReceiver()
    {
        QMetaObject::invokeMethod(m_loop, &QEventLoop::quit, Qt::QueuedConnection);
        m_thread->wait();
    }

    quint16 port() const { return m_port; }
    std::int64_t messages() const { return m_messages; }
    Clock::time_point lastArrival() const { return Clock::time_point(Clock::duration(m_last.load())); }

private:
    std::unique_ptr<QThread> m_thread;
    QEventLoop* m_loop = nullptr;
    quint16 m_port = 0;
    std::atomic<std::int64_t> m_messages{0};
    std::atomic<Clock::rep> m_last{0};
};

// The stream sink, counting the lines it took and those its full queue had to drop.
class CountingSink final : public LineSink
{
public:
    explicit CountingSink(LineSink& target) : m_target(target) {}
    SinkResult write(std::string_view line) override
    {
        SinkResult result = m_target.write(line);
        if (!result) {
            std::printf("  run failed: %s\n", result.reason().c_str());
        }
        lines += result ? 1 : 0;
        dropped += result && result.value() == Delivery::Dropped;
        return result;
    }
    FlushResult flush() override
    {
        FlushResult result = m_target.flush();
        dropped += result ? result.value().dropped : 0;
        return result;
    }
    std::int64_t lines = 0;
    std::int64_t dropped = 0;

private:
    LineSink& m_target;
};

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Row
{
    const char* name;
    StreamFraming framing;
    SyslogFormat format;
    bool tls;
    double goal;
};

// Each line with its number at the end, so that the receiver's copy tells which lines it lacks
// and which it stored twice.
class NumberingSink final : public LineSink
{
public:
    explicit NumberingSink(LineSink& target) : m_target(target) {}
    SinkResult write(std::string_view line) override
    {
        m_line.assign(line);
        m_line += " #";
        m_line += std::to_string(written++);
        SinkResult result = m_target.write(m_line);
        dropped += result && result.value() == Delivery::Dropped;
        return result;
    }
    FlushResult flush() override { return m_target.flush(); }
    std::int64_t written = 0;
    std::int64_t dropped = 0;

private:
    LineSink& m_target;
    std::string m_line;
};

// One RELP row: a run for `seconds` to rsyslogd, restarted `restarts` times evenly during it.
bool relpRow(const char* name, int seconds, int restarts)
{
    const QString rsyslogd = e2e::rsyslogdPath();
    QTemporaryDir folder;
    QString why;
    const auto rsyslog =
        rsyslogd.isEmpty() ? nullptr
                           : e2e::startRsyslog(rsyslogd, folder.path(), e2e::Transport::Relp, e2e::rawMessage, {}, why);
    if (!rsyslog) {
        std::printf("%-34s rsyslogd with imrelp does not start: %s\n", name, qPrintable(why));
        return false;
    }
    RelpSink sink;
    if (const Result<> started = sink.start(QStringLiteral("127.0.0.1"), rsyslog->port()); !started) {
        std::printf("%s\n", started.reason().c_str());
        return false;
    }
    e2e::waitUntil([&] { return sink.status().state == SinkStatus::State::Open; }, 10000);

    RunSettings settings;
    settings.onePass = false;
    settings.sourceFile = std::string(KORVANE_SOURCE_DIR) + "/data/SAMPLE.TXT";
    settings.firewallName = "Pix-Inside-Demo";
    settings.rewrite = bench::shippedRewriteValues();
    settings.format = SyslogFormat::Rfc3164;
    RunFlags flags;
    RunObserver observer;
    DefaultRandomSource random;
    SystemWallClock wall;
    SteadyClock steady;
    RunDriver driver(flags, steady);

    QEventLoop running;
    QObject::connect(&driver, &RunDriver::runEnded, &running, &QEventLoop::quit);
    QTimer::singleShot(seconds * 1000, &running, [&] { flags.StopRequested = true; });
    for (int i = 1; i <= restarts; ++i) {
        QTimer::singleShot(seconds * 1000 * i / (restarts + 1), &running,
                           [&] { rsyslog->stop() && rsyslog->start() && rsyslog->waitUntilReady(30000); });
    }
    const double cpu0 = processCpuSeconds();
    const Clock::time_point played = Clock::now();
    NumberingSink numbering(sink);
    driver.start(std::make_unique<GenerationRun>(settings, flags, observer, numbering, random, wall), 1e-9);
    running.exec();
    // Until every line is acknowledged, or 60 s.
    e2e::waitUntil([&] { return sink.status().queued == 0; }, 60000, 1);
    const double elapsed = std::chrono::duration<double>(Clock::now() - played).count();
    const double cpu = processCpuSeconds() - cpu0;
    const DeliveryCounts counts = sink.counts();
    const std::int64_t expected = numbering.written - numbering.dropped;
    e2e::waitUntil([&] { return rsyslog->lines().size() >= counts.delivered; }, 30000, 100);

    std::unordered_set<std::int64_t> numbers;
    const QList<QByteArray> stored = rsyslog->lines();
    for (const QByteArray& line : stored) {
        const qsizetype mark = line.lastIndexOf(" #");
        numbers.insert(mark < 0 ? -1 : line.mid(mark + 2).toLongLong());
    }
    const auto lost = expected - static_cast<std::int64_t>(numbers.size());
    const auto twice = static_cast<std::int64_t>(stored.size()) - static_cast<std::int64_t>(numbers.size());
    std::printf("%-34s %12.0f %12lld %10lld %12.2f  lost %lld, stored twice %lld, resent %lld\n", name,
                double(counts.delivered) / elapsed, static_cast<long long>(counts.delivered),
                static_cast<long long>(numbering.dropped),
                cpu / double(std::max<std::int64_t>(1, numbering.written)) * 1e6, static_cast<long long>(lost),
                static_cast<long long>(twice), static_cast<long long>(counts.resent));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    QTemporaryDir folder;
    const test::TestPki pki(folder.path());
    if (!pki.ok()) {
        std::printf("cannot make the test certificates: %s\n", qPrintable(pki.error()));
        return 1;
    }
    QSslConfiguration serverTls = QSslConfiguration::defaultConfiguration();
    QFile cert(pki.serverCertFile());
    QFile key(pki.serverKeyFile());
    if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
        return 1;
    }
    serverTls.setLocalCertificate(QSslCertificate(&cert, QSsl::Pem));
    serverTls.setPrivateKey(QSslKey(&key, QSsl::Rsa, QSsl::Pem));

    std::printf("Korvane over TCP and TLS at Delay 1e-9 (as fast as it goes), %d s per row, SAMPLE.TXT templates, "
                "receiver thread on "
                "127.0.0.1\n\n",
                seconds);
    std::printf("%-34s %12s %12s %10s %12s  %s\n", "", "lines/s", "received", "dropped", "CPU us/line", "goal");
    const Row rows[] = {
        {"TCP, line feeds", StreamFraming::LineFeed, SyslogFormat::Plain, false, 1000000},
        {"TCP, octet counting, RFC 5424", StreamFraming::OctetCounting, SyslogFormat::Rfc5424, false, 1000000},
        {"TLS, octet counting, RFC 3164", StreamFraming::OctetCounting, SyslogFormat::Rfc3164, true, 500000},
    };
    for (const Row& row : rows) {

        StreamReceiver receiver(row.framing, row.tls ? std::optional(serverTls) : std::nullopt);
        StreamSink sink;
        const std::optional<TlsSettings> tls =
            row.tls ? std::optional(TlsSettings{pki.caFile(), {}, {}, QStringLiteral("127.0.0.1")}) : std::nullopt;
        if (const Result<> started = sink.start(QStringLiteral("127.0.0.1"), receiver.port(), row.framing, tls);
            !started) {
            std::printf("%s\n", started.reason().c_str());
            return 1;
        }
        // Connected before Play, as a run that starts a while after the program does.
        QEventLoop connecting;
        sink.setStatusListener([&] {
            if (sink.isConnected()) {
                connecting.quit();
            }
        });
        QTimer::singleShot(10000, &connecting, &QEventLoop::quit);
        connecting.exec();

        RunSettings settings;
        settings.onePass = false;
        settings.sourceFile = std::string(KORVANE_SOURCE_DIR) + "/data/SAMPLE.TXT";
        settings.firewallName = "Pix-Inside-Demo";
        settings.rewrite = bench::shippedRewriteValues();
        settings.format = row.format;
        RunFlags flags;
        RunObserver observer;
        DefaultRandomSource random;
        SystemWallClock wall;
        SteadyClock steady;
        RunDriver driver(flags, steady);

        QEventLoop running;
        QObject::connect(&driver, &RunDriver::runEnded, &running, &QEventLoop::quit);
        QTimer::singleShot(seconds * 1000, &running, [&] { flags.StopRequested = true; });
        const double cpu0 = processCpuSeconds();
        const Clock::time_point played = Clock::now();
        CountingSink counting(sink);
        driver.start(std::make_unique<GenerationRun>(settings, flags, observer, counting, random, wall), 1e-9);
        running.exec();

        // Until the receiver has every line that went into the queue, or 30 s.
        const std::int64_t queued = counting.lines - counting.dropped;
        QEventLoop draining;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &draining, [&] {
            if (receiver.messages() >= queued) {
                draining.quit();
            }
        });
        poll.start(1);
        QTimer::singleShot(30000, &draining, &QEventLoop::quit);
        draining.exec();
        const double cpu = processCpuSeconds() - cpu0;
        const double elapsed = std::chrono::duration<double>(receiver.lastArrival() - played).count();
        const double rate = double(receiver.messages()) / elapsed;
        std::printf("%-34s %12.0f %12lld %10lld %12.2f  >= %.0f  %s\n", row.name, rate,
                    static_cast<long long>(receiver.messages()), static_cast<long long>(counting.dropped),
                    cpu / double(std::max<std::int64_t>(1, counting.lines)) * 1e6, row.goal,
                    rate >= row.goal ? "met" : "MISSED");
    }
    std::printf("\nOver RELP to rsyslogd (imrelp) on 127.0.0.1, RFC 3164, counted when acknowledged\n\n");
    std::printf("%-34s %12s %12s %10s %12s\n", "", "lines/s", "acknowledged", "dropped", "CPU us/line");
    const bool relp = relpRow("RELP", seconds, 0) && relpRow("RELP, receiver restarted twice", seconds, 2);
    return relp ? 0 : 1;
}
