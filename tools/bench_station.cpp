// Measures what the station costs its PC while idle and while it counts a period:
// a real station window on the system clock against a console stand-in on
// loopback, the stand-in in a thread of its own so that only the station's thread
// is measured. Prints, for each phase, the processor share of the station's thread
// and its wake-ups per second (times it went to sleep and was woken, from the
// kernel's count of voluntary context switches), of which how many were the
// top-window timer's ticks, and the time texts per second the station sent.
//
// bench_station [idle seconds, default 10] [counting seconds, default 30]

#include "DaytimeClock.h"
#include "DaytimeRequest.h"
#include "MessageDialog.h"
#include "Protocol.h"
#include "StationWindow.h"
#include "TcpConnection.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {
const QString loopback = QStringLiteral("127.0.0.1");

QByteArray threadFile(const char *name)
{
    QFile file(
        QStringLiteral("/proc/self/task/%1/%2").arg(syscall(SYS_gettid)).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Processor seconds used by the calling thread, to the nanosecond (the first field
// of the scheduler's statistics).
double threadProcessorSeconds()
{
    return threadFile("schedstat").split(' ').first().toLongLong() / 1e9;
}

// How often the calling thread went to sleep waiting and was woken again.
qint64 threadWakeUps()
{
    for (const QByteArray &line : threadFile("status").split('\n'))
        if (line.startsWith("voluntary_ctxt_switches:"))
            return line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    return 0;
}

// The console's side, in its own thread: accepts the station, answers its
// announcement, and starts and stops a period on request; counts time texts.
class ConsoleStandIn : public QObject
{
public:
    ConsoleStandIn()
    {
        connect(&m_endpoint, &TcpConnection::connectionRequest, this, [this](int requestId) {
            m_endpoint.close();
            static_cast<void>(m_endpoint.accept(requestId));
        });
        connect(&m_endpoint, &TcpConnection::dataArrival, this, [this] {
            const QString chunk = m_endpoint.getData();
            if (Protocol::isStartup(chunk, 1))
                static_cast<void>(m_endpoint.sendData(Protocol::stopMessage(1)));
            // Every time text holds two colons, nothing else the station sends holds one.
            timeTexts += int(chunk.count(QLatin1Char(':')) / 2);
        });
        m_endpoint.setLocalPort(0);
        static_cast<void>(m_endpoint.listen());
        port = m_endpoint.localPort();
    }
    void send(const QString &text) { static_cast<void>(m_endpoint.sendData(text)); }

    std::atomic<int> timeTexts = 0;
    std::atomic<quint16> port = 0;

private:
    TcpConnection m_endpoint;
};

struct Snapshot
{
    qint64 ms;
    double processor;
    qint64 wakeUps;
    int topWindowTicks;
    int timeTexts;
};

void print(const char *phase, const Snapshot &from, const Snapshot &to)
{
    const double seconds = (to.ms - from.ms) / 1000.0;
    std::printf(
        "%-9s %5.1f s: processor %.3f s = %.4f %% of one core; %.2f wake-ups/s, of them %.2f/s the "
        "top-window timer; %.2f time texts/s\n",
        phase, seconds, to.processor - from.processor,
        100.0 * (to.processor - from.processor) / seconds, (to.wakeUps - from.wakeUps) / seconds,
        (to.topWindowTicks - from.topWindowTicks) / seconds,
        (to.timeTexts - from.timeTexts) / seconds);
    std::fflush(stdout);
}
}

int main(int argc, char *argv[])
{
    // The offscreen platform says so on every raise of the window, once a second.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) {
        if (!message.contains(QLatin1String("does not support raise")))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const int idleSeconds = arguments.size() > 1 ? arguments.at(1).toInt() : 10;
    const int countingSeconds = arguments.size() > 2 ? arguments.at(2).toInt() : 30;

    QThread consoleThread;
    consoleThread.start();
    QObject inConsoleThread;
    inConsoleThread.moveToThread(&consoleThread);
    ConsoleStandIn *console = nullptr;
    QMetaObject::invokeMethod(
        &inConsoleThread, [&console] { console = new ConsoleStandIn; },
        Qt::BlockingQueuedConnection);

    QTemporaryDir directory;
    QFile ini(directory.filePath(QStringLiteral("Client.ini")));
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write("[Server]\r\nIP=127.0.0.1\r\n");
    ini.close();
    // The station's clock request at start goes nowhere and changes no clock; its
    // message is answered unseen.
    DaytimeRequest::setServer(loopback, 0);
    DaytimeClock::setClockWriter([](qint64) { return false; });
    MessageDialog::setHandler([](const MessageDialog::Request &) { return QMessageBox::Ok; });

    StationWindow station(1, directory.path(), console->port);
    station.show();
    int topWindowTicks = 0;
    QObject::connect(station.findChild<QTimer *>(QStringLiteral("Timer1")), &QTimer::timeout,
                     [&topWindowTicks] { ++topWindowTicks; });

    QElapsedTimer clock;
    clock.start();
    const auto snapshot = [&] {
        return Snapshot{clock.elapsed(), threadProcessorSeconds(), threadWakeUps(), topWindowTicks,
                        console->timeTexts.load()};
    };
    const auto sendFromConsole = [console](const QString &text) {
        QMetaObject::invokeMethod(console, [console, text] { console->send(text); });
    };

    // Settled after start-up, idle; then a period of five minutes; then the stop.
    Snapshot idleFrom{}, countingFrom{};
    const int settleMs = 2000;
    QTimer::singleShot(settleMs, [&] { idleFrom = snapshot(); });
    QTimer::singleShot(settleMs + 1000 * idleSeconds, [&] {
        print("idle", idleFrom, snapshot());
        sendFromConsole(QStringLiteral("5"));
    });
    QTimer::singleShot(2 * settleMs + 1000 * idleSeconds, [&] { countingFrom = snapshot(); });
    QTimer::singleShot(2 * settleMs + 1000 * (idleSeconds + countingSeconds), [&] {
        print("counting", countingFrom, snapshot());
        sendFromConsole(Protocol::stopMessage(1));
        QTimer::singleShot(
            500, [] { QCoreApplication::exit(); }); // quit() would ask the window, which refuses
    });
    QApplication::exec();

    QMetaObject::invokeMethod(
        console, [console] { delete console; }, Qt::BlockingQueuedConnection);
    consoleThread.quit();
    consoleThread.wait();
    return 0;
}
