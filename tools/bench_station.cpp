// Measures what a running period costs the station: a real station window on the
// system clock runs a timed period against a console stand-in on loopback, and the
// program prints its processor share and the time texts per second it sent. For
// comparison a sender that passes without waiting, as a display loop that spins
// would, runs for a few seconds and its rate is printed too.
//
// bench_station [period seconds, default 30] [spinning seconds, default 5]

#include "DaytimeClock.h"
#include "DaytimeRequest.h"
#include "MessageDialog.h"
#include "Protocol.h"
#include "StationWindow.h"
#include "TcpConnection.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <cstdio>

namespace {
const QString loopback = QStringLiteral("127.0.0.1");

// Processor seconds used by this process so far, user and system time together.
double processorSeconds()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Fields after the parenthesised program name; utime and stime are the 12th and
    // 13th of them.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// Every time text holds two colons, nothing else the station sends holds one.
int countTimeTexts(const QString &received)
{
    return int(received.count(QLatin1Char(':')) / 2);
}

struct Figures
{
    double seconds = 0;
    double processor = 0;
    int texts = 0;
};

void print(const char *what, const Figures &figures)
{
    std::printf("%s: %.1f s, processor %.2f s = %.2f %% of one core, %d time texts = %.2f per second\n", what,
                figures.seconds, figures.processor, 100.0 * figures.processor / figures.seconds, figures.texts,
                figures.texts / figures.seconds);
}

// The console's side: accepts the station, answers its announcement, starts a
// period of five minutes and, after the measured span, stops it.
class ConsoleStandIn : public QObject
{
public:
    explicit ConsoleStandIn(int spanSeconds)
        : m_spanMs(1000 * spanSeconds)
    {
        connect(&m_endpoint, &TcpConnection::connectionRequest, this, [this](int requestId) {
            m_endpoint.close();
            m_endpoint.accept(requestId);
        });
        connect(&m_endpoint, &TcpConnection::dataArrival, this, [this] { take(m_endpoint.getData()); });
        m_endpoint.setLocalPort(0);
        m_endpoint.listen();
    }
    quint16 port() const { return m_endpoint.localPort(); }
    const Figures &figures() const { return m_figures; }

private:
    void take(const QString &chunk)
    {
        if (Protocol::isStartup(chunk, 1)) {
            m_endpoint.sendData(Protocol::stopMessage(1));
            QTimer::singleShot(500, this, &ConsoleStandIn::startPeriod);
        } else if (m_clock.isValid()) {
            m_received += chunk;
        } else if (m_stopSent && chunk.endsWith(Protocol::stopMessage(1))) {
            QCoreApplication::exit(); // quit() would ask the station window, which refuses
        }
    }
    void startPeriod()
    {
        m_processorAtStart = processorSeconds();
        m_clock.start();
        m_endpoint.sendData(QStringLiteral("5"));
        QTimer::singleShot(m_spanMs, this, &ConsoleStandIn::stopPeriod);
    }
    void stopPeriod()
    {
        m_figures = {m_clock.elapsed() / 1000.0, processorSeconds() - m_processorAtStart, countTimeTexts(m_received)};
        m_clock.invalidate();
        m_stopSent = true;
        m_endpoint.sendData(Protocol::stopMessage(1));
    }

    TcpConnection m_endpoint;
    const int m_spanMs;
    QElapsedTimer m_clock;
    double m_processorAtStart = 0;
    QString m_received;
    bool m_stopSent = false;
    Figures m_figures;
};

Figures runStation(int seconds)
{
    QTemporaryDir directory;
    QFile ini(directory.filePath(QStringLiteral("Client.ini")));
    if (!ini.open(QIODevice::WriteOnly))
        return {};
    ini.write("[Server]\r\nIP=127.0.0.1\r\n");
    ini.close();

    // The station's clock request at start goes nowhere and changes no clock; its
    // message is answered unseen.
    DaytimeRequest::setServer(loopback, 0);
    DaytimeClock::setClockWriter([](qint64) { return false; });
    MessageDialog::setHandler([](const MessageDialog::Request &) { return QMessageBox::Ok; });

    ConsoleStandIn console(seconds);
    StationWindow station(1, directory.path(), console.port());
    station.show();
    QApplication::exec();
    return console.figures();
}

// Sends the remaining time on every pass, handling the pending events in between
// and never waiting, for the given span; a receiver in the same process counts.
Figures runSpinningSender(int seconds)
{
    TcpConnection receiver;
    QString received;
    QObject::connect(&receiver, &TcpConnection::connectionRequest, [&receiver](int requestId) {
        receiver.close();
        receiver.accept(requestId);
    });
    QObject::connect(&receiver, &TcpConnection::dataArrival, [&] { received += receiver.getData(); });
    receiver.setLocalPort(0);
    receiver.listen();

    TcpConnection sender;
    bool connected = false;
    QObject::connect(&sender, &TcpConnection::connected, [&connected] { connected = true; });
    sender.connectTo(loopback, receiver.localPort());
    while (!connected)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    const QDateTime end = QDateTime::currentDateTime().addSecs(300);
    const double processorAtStart = processorSeconds();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000 * seconds) {
        const QString text = Protocol::remainingTimeText(QDateTime::currentDateTime().secsTo(end));
        QCoreApplication::processEvents();
        sender.sendData(text);
    }
    const Figures figures{clock.elapsed() / 1000.0, processorSeconds() - processorAtStart, 0};
    sender.close();
    QElapsedTimer drain;
    drain.start();
    while (drain.elapsed() < 1000)
        QCoreApplication::processEvents();
    return {figures.seconds, figures.processor, countTimeTexts(received)};
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
    const int periodSeconds = arguments.size() > 1 ? arguments.at(1).toInt() : 30;
    const int spinningSeconds = arguments.size() > 2 ? arguments.at(2).toInt() : 5;

    print("station, timed period", runStation(periodSeconds));
    print("spinning sender       ", runSpinningSender(spinningSeconds));
    return 0;
}
