// Feeds a running console from a station stand-in that sends time texts without
// pause, as a display loop that never waits would, and reports how late the
// console handles a posted event and whether its memory grows.

#include "BenchConsole.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr int floodSeconds = 10;
constexpr int probeIntervalMs = 20;

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Connects to the console and sends "Startup1", then time texts as fast as it can.
void spinningStation(quint16 port, std::atomic<bool> &running, std::atomic<long long> &bytesSent)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        std::perror("connect");
        ::close(fd);
        return;
    }
    ::send(fd, "Startup1", 8, MSG_NOSIGNAL);
    const char text[] = "00:09:59";
    while (running) {
        const ssize_t sent = ::send(fd, text, sizeof text - 1, MSG_NOSIGNAL);
        if (sent > 0)
            bytesSent += sent;
    }
    ::close(fd);
}
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    BenchConsole console;
    if (!console.start())
        return 1;
    MainWindow &window = console.window();
    const quint16 port = console.stationPort();
    window.show();

    std::atomic<bool> running{true};
    std::atomic<long long> bytesSent{0};
    std::thread station(spinningStation, port, std::ref(running), std::ref(bytesSent));

    QElapsedTimer clock;
    clock.start();
    qint64 worstDelayMs = 0;
    qint64 totalDelayMs = 0;
    int probes = 0;
    const long startKiB = residentKiB();
    long halfwayKiB = 0;

    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 posted = clock.elapsed();
        QMetaObject::invokeMethod(
            &window,
            [&, posted] {
                const qint64 delay = clock.elapsed() - posted;
                worstDelayMs = std::max(worstDelayMs, delay);
                totalDelayMs += delay;
                ++probes;
            },
            Qt::QueuedConnection);
        if (!halfwayKiB && clock.elapsed() >= floodSeconds * 500)
            halfwayKiB = residentKiB();
        if (clock.elapsed() >= floodSeconds * 1000)
            app.quit();
    });
    probe.start(probeIntervalMs);
    app.exec();

    running = false;
    station.join();
    const long endKiB = residentKiB();
    std::printf("flood: %lld bytes in %d s (%.1f MB/s)\n", bytesSent.load(), floodSeconds,
                double(bytesSent.load()) / floodSeconds / 1e6);
    std::printf("posted events: %d handled, mean delay %.2f ms, worst %lld ms\n", probes,
                probes ? double(totalDelayMs) / probes : 0.0, worstDelayMs);
    std::printf("resident memory: %ld KiB at start, %ld KiB halfway, %ld KiB at the end\n",
                startKiB, halfwayKiB, endKiB);
    std::printf("running-time label shows %lld characters\n",
                qint64(window.panel(1).runningTime->text().size()));
    return 0;
}
