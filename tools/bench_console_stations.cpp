// The console with every station connected and counting:
//   bench_console_stations [--keys] [<stations> [<seconds>]]
// with 32 stations for 30 seconds by default; with --keys every station has a key
// in Kavo.ini and its stand-in proves it, so that its link is TLS. The real window runs offscreen
// in a temporary program folder; a child process of this program stands in for the stations on
// loopback, each announcing itself and then sending its running time once a second, as a station
// counting a period does. Printed: the console's CPU use in % of one core, how late its event loop
// answers an event posted every 100 ms from another thread, and its memory after the start and at
// the end. The child is started as `bench_console_stations --stand-ins <key or -> <port>...`.

#include "ConsoleConfig.h"
#include "ConsoleFixture.h"
#include "PreSharedKey.h"
#include "Protocol.h"
#include "StationSession.h"
#include "TextFormats.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSslSocket>
#include <QTime>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace {
constexpr int probeIntervalMs = 100;
constexpr int settleMs = 3000;
const QString benchKey = QStringLiteral("00112233445566778899aabbccddeeff");

// One stand-in station: announces itself once connected (with a key: once the
// handshake is done), then sends the time its period has run once a second; what
// the console sends is read and dropped.
void standIn(int station, quint16 port, const QString &keyText, QObject *owner)
{
    auto *socket = new QSslSocket(owner);
    auto *ticker = new QTimer(socket);
    auto *counted = new QElapsedTimer;
    const std::optional<PreSharedKey> key = PreSharedKey::fromText(keyText, station);
    QObject::connect(socket, &QSslSocket::readyRead, socket, [socket] { socket->readAll(); });
    QObject::connect(socket, key ? &QSslSocket::encrypted : &QSslSocket::connected, socket, [=] {
        socket->write(Protocol::startupMessage(station).toUtf8());
        counted->start();
        // Spread over the second, as stations started at different times are.
        QTimer::singleShot(station * 1000 / 32, ticker, [ticker] { ticker->start(1000); });
    });
    QObject::connect(ticker, &QTimer::timeout, socket, [=] {
        const QTime running = QTime(0, 0).addSecs(counted->elapsed() / 1000);
        socket->write(TextFormats::timeOfDay(running).toUtf8());
    });
    QObject::connect(socket, &QObject::destroyed, [counted] { delete counted; });
    if (!key) {
        socket->connectToHost(QHostAddress::LocalHost, port);
        return;
    }
    key->apply(*socket);
    socket->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
}

int runStandIns(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString keyText = QString::fromLatin1(argv[2]);
    for (int i = 3; i < argc; ++i)
        standIn(i - 2, quint16(std::atoi(argv[i])), keyText, &app);
    return QCoreApplication::exec();
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void printMemory(const char *when)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    QByteArray figures;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS") || line.startsWith("VmHWM"))
            figures += line.simplified() + "  ";
    }
    std::printf("memory %s: %s\n", when, figures.constData());
}

// Posts an event to the main thread every 100 ms from a thread of its own and
// notes how long each waited until the main thread ran it.
class LatencyProbe
{
public:
    explicit LatencyProbe(QObject *receiver)
        : m_thread([this, receiver] { post(receiver); })
    {
    }
    ~LatencyProbe()
    {
        m_stop = true;
        m_thread.join();
    }
    // Only from the main thread.
    std::vector<double> latencies() const { return m_latencies; }

private:
    void post(QObject *receiver)
    {
        while (!m_stop) {
            const auto posted = std::chrono::steady_clock::now();
            QMetaObject::invokeMethod(
                receiver,
                [this, posted] {
                    const std::chrono::duration<double, std::milli> waited
                        = std::chrono::steady_clock::now() - posted;
                    m_latencies.push_back(waited.count());
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(probeIntervalMs));
        }
    }

    std::vector<double> m_latencies;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

void wait(int ms)
{
    QTimer::singleShot(ms, [] { QCoreApplication::exit(); });
    QCoreApplication::exec();
}
}

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--stand-ins") == 0)
        return runStandIns(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool keyed = arguments.removeAll(QStringLiteral("--keys")) > 0;
    const int stations = arguments.size() > 0 ? arguments[0].toInt() : 32;
    const int seconds = arguments.size() > 1 ? arguments[1].toInt() : 30;
    if (stations < 1 || stations > 32 || seconds < 1) {
        std::fprintf(stderr, "bench_console_stations [--keys] [<stations> [<seconds>]]\n");
        return 2;
    }
    ConsoleFixture console;
    console.useStations(stations);
    for (int station = 1; keyed && station <= stations; ++station)
        console.writeIni(ConsoleKeys::stationsSection, ConsoleKeys::stationKey(station), benchKey);
    const Result<ConsoleApp::Started> started = console.startWithReason();
    if (!ConsoleApp::runs(started)) {
        std::fprintf(stderr, "%s\n", qPrintable(started.failure().text()));
        return 1;
    }
    console.window().show();
    wait(0);
    printMemory("after the start");

    QStringList ports{QStringLiteral("--stand-ins"), keyed ? benchKey : QStringLiteral("-")};
    for (int station = 1; station <= stations; ++station)
        ports << QString::number(console.port(station));
    QProcess standIns;
    standIns.setProcessChannelMode(QProcess::ForwardedChannels);
    standIns.start(QCoreApplication::applicationFilePath(), ports);
    if (!standIns.waitForStarted()) {
        std::fprintf(stderr, "%s\n", qPrintable(standIns.errorString()));
        return 1;
    }
    wait(settleMs);
    // Each station counts a period without end at the console too.
    for (int station = 1; station <= stations; ++station)
        console.window().session(station).start(0);
    wait(settleMs);

    int timeTexts = 0;
    for (int station = 1; station <= stations; ++station)
        QObject::connect(&console.window().session(station), &StationSession::runningTimeChanged,
                         [&timeTexts] { ++timeTexts; });
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    std::vector<double> latencies;
    {
        const LatencyProbe probe(&app);
        wait(seconds * 1000);
        latencies = probe.latencies();
    }
    const double cpu = cpuSeconds() - cpuBefore;
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    std::sort(latencies.begin(), latencies.end());
    std::printf("%d stations%s for %.1f s, %d time texts shown: console CPU %.2f %% of a core"
                " (%.3f s)\n",
                stations, keyed ? " with keys" : "", elapsed, timeTexts, 100 * cpu / elapsed, cpu);
    std::printf("window answers: median %.2f ms, worst %.2f ms of %d events\n",
                latencies[latencies.size() / 2], latencies.back(), int(latencies.size()));
    printMemory("at the end");
    standIns.kill();
    standIns.waitForFinished();
    return 0;
}
