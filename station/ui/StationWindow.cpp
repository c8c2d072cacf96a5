#include "StationWindow.h"

#include "Clock.h"
#include "ClockTimer.h"
#include "DaytimeRequest.h"
#include "EntryField.h"
#include "IniFile.h"
#include "MessageDialog.h"
#include "Protocol.h"
#include "SpacedSender.h"
#include "TcpConnection.h"
#include "TextFormats.h"
#include "Twips.h"

#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int clientWidth = 3180;
// Tall enough for the time boxes' whole height; the boxes that only hold values
// lie below it.
constexpr int clientHeight = 1425;
constexpr int topWindowIntervalMs = 1000;
// A pass is due when the shown second changes; the display wakes this long after
// the change, so that a timer firing a little early still finds the new second.
constexpr qint64 passAfterSecondMs = 20;
// A period that ran out sends its stop this long after its last time text.
constexpr qint64 stopPauseMs = 200;
// Periods started one inside another that the display keeps; a start beyond them
// drops the outermost. A console starts one period at a time; only a peer sending
// start after start gets this far.
constexpr std::size_t maxNestedPeriods = 8;

QDateTime wholeSecondsNow()
{
    const QDateTime now = Clock::current().now();
    return now.addMSecs(-now.time().msec());
}

void setShown(std::initializer_list<QWidget *> widgets, bool shown)
{
    for (QWidget *widget : widgets)
        widget->setVisible(shown);
}
}

StationWindow::StationWindow(int station, const QString &programDirectory,
                             std::optional<quint16> consolePort, QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                  | Qt::WindowCloseButtonHint)
    , m_station(station)
    , m_name(QStringLiteral("Client") + QString::number(station))
    , m_consolePort(consolePort.value_or(Protocol::port(station)))
{
    setObjectName(m_name);
    setWindowTitle(m_name);
    setFixedSize(Twips::toPixels(clientWidth), Twips::toPixels(clientHeight));
    placeInScreenCorner();
    createItems();
    startUp(programDirectory);
}

// The window sits in the top right corner of the screen, out of the customer's way;
// station 2's a little lower, so that both show when they share one screen.
void StationWindow::placeInScreenCorner()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int margin = 8;
    move(area.right() - width() - margin,
         area.top() + margin + (m_station - 1) * (height() + 4 * margin));
}

StationWindow::~StationWindow() = default;

void StationWindow::createItems()
{
    cmdVerbinden = addItem(new QPushButton(QStringLiteral("Verbinden"), this), "cmdVerbinden", 0,
                           120, 1815, 255);
    cmdStart
        = addItem(new QPushButton(QStringLiteral("Start"), this), "cmdStart", 0, 480, 855, 255);
    cmdStop = addItem(new QPushButton(QStringLiteral("Stop"), this), "cmdStop", 960, 480, 855, 255);
    Label3 = addItem(new QLabel(QStringLiteral("Endzeit:"), this), "Label3", 1920, 120, 975, 255);
    Text2 = addItem(new EntryField(QLatin1Char(':'), this), "Text2", 1920, 360, 975, 285);
    Label2 = addItem(new QLabel(QStringLiteral("Startzeit"), this), "Label2", 0, 840, 735, 255);
    Label4
        = addItem(new QLabel(QStringLiteral("aktuelle Zeit"), this), "Label4", 1080, 840, 975, 255);
    Label5 = addItem(new QLabel(QStringLiteral("Differenz"), this), "Label5", 2160, 840, 1095, 255);
    Text5 = addItem(new QLineEdit(this), "Text5", 0, 1080, 1095, 285);
    Text4 = addItem(new QLineEdit(this), "Text4", 1080, 1080, 975, 285);
    Text6 = addItem(new QLineEdit(this), "Text6", 2160, 1080, 975, 285);
    // Below the client area, out of sight: they only hold values.
    Text1 = addItem(new EntryField(QLatin1Char('.'), this), "Text1", 2160, 1440, 975, 285);
    Text3 = addItem(new EntryField(QChar(), this), "Text3", 1440, 1440, 615, 285);
    lbMinute = addItem(new QLabel(QStringLiteral("Zeitintervall (min):"), this), "lbMinute", 0,
                       1440, 1335, 255);
    Label1 = addItem(new QLabel(this), "Label1", 0, 1680, 1455, 255);

    Text5->setToolTip(QStringLiteral("Startzeitpunkt"));
    Text4->setToolTip(QStringLiteral("aktuelle Zeit"));
    Text6->setToolTip(QStringLiteral("verbrauchte Zeit"));

    connect(cmdVerbinden, &QPushButton::clicked, this, &StationWindow::cmdVerbindenClicked);
    connect(cmdStart, &QPushButton::clicked, this, &StationWindow::cmdStartClicked);
    connect(cmdStop, &QPushButton::clicked, this, &StationWindow::ReportStop);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &QTimer::timeout, this, &StationWindow::TopWindow);

    m_displayTimer = new ClockTimer(this);
    connect(m_displayTimer, &ClockTimer::timeout, this, &StationWindow::runDisplay);

    Winsock1 = new TcpConnection(this);
    Winsock1->setObjectName(QStringLiteral("Winsock1"));
    connect(Winsock1, &TcpConnection::connected, this, &StationWindow::consoleConnected);
    connect(Winsock1, &TcpConnection::closed, this, &StationWindow::consoleClosed);
    connect(Winsock1, &TcpConnection::dataArrival, this, &StationWindow::consoleDataArrived);
    m_sender = new SpacedSender([this](const QString &text) { Winsock1->sendData(text); }, this);
}

template<typename Item>
Item *StationWindow::addItem(Item *item, const char *name, int left, int top, int width, int height)
{
    item->setObjectName(QLatin1String(name));
    Twips::place(item, left, top, width, height);
    return item;
}

void StationWindow::startUp(const QString &programDirectory)
{
    m_serverAddress = IniFile::read(QDir(programDirectory).filePath(QStringLiteral("Client.ini")),
                                    QStringLiteral("Server"), QStringLiteral("IP"));
    setShown({Text1, Text2}, false);
    Text4->clear();
    Text5->clear();
    Text6->clear();
    Text3->setText(QStringLiteral("5"));
    ConnectConsole();
    cmdStop->setEnabled(false);
    setShown({lbMinute, Text3, Label2, Label3, Label4, Label5}, false);
    Timer1->start(topWindowIntervalMs);
    startTimeServerRequest();
}

void StationWindow::startTimeServerRequest()
{
    auto *request = new DaytimeRequest(this);
    connect(request, &DaytimeRequest::failed, this, [this] {
        MessageDialog::show(this, {DaytimeRequest::failureTitle(), DaytimeRequest::failureText()});
    });
    request->start();
}

void StationWindow::ConnectConsole()
{
    releaseInputBlock();
    cmdStart->setEnabled(false);
    cmdVerbinden->setEnabled(true);
    m_sender->reset();
    Winsock1->connectTo(m_serverAddress, m_consolePort);
}

void StationWindow::releaseInputBlock()
{
    // Keyboard and mouse are never blocked here, so there is nothing to release.
}

void StationWindow::TopWindow()
{
    showIfMinimised();
    raise();
}

void StationWindow::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

// The window offers no minimise button; one minimised all the same, by the window
// manager or a key, comes back at once, and at the latest on the next tick.
void StationWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        QTimer::singleShot(0, this, &StationWindow::showIfMinimised);
}

void StationWindow::showIfMinimised()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
}

void StationWindow::cmdVerbindenClicked()
{
    Winsock1->close();
    ConnectConsole();
}

void StationWindow::consoleConnected()
{
    cmdStart->setEnabled(true);
    cmdVerbinden->setEnabled(false);
    send(Protocol::startupMessage(m_station));
}

void StationWindow::consoleClosed()
{
    cmdStart->setEnabled(false);
    cmdVerbinden->setEnabled(true);
}

void StationWindow::consoleDataArrived()
{
    handleChunk(Winsock1->getData());
}

void StationWindow::handleChunk(const QString &chunk)
{
    cmdStart->setEnabled(true);
    setShown({Text1, Text2}, true);
    switch (Protocol::stationOrder(chunk, m_station)) {
    case Protocol::StationOrder::Stop:
        showIdleLayout();
        break;
    case Protocol::StationOrder::EndlessPeriod:
        startEndlessPeriod(chunk);
        break;
    case Protocol::StationOrder::TimedPeriod:
        startTimedPeriod(chunk);
        break;
    }
}

// A running period makes one more pass and ends, right after this.
void StationWindow::showIdleLayout()
{
    m_stopRequested = true;
    if (!m_periods.empty())
        m_displayTimer->start(0);
    setShown({Text1, Text2, Text3}, false);
    Text3->clear();
    setShown({Text4, Text5, Text6, Label1, Label2, Label3, Label4, Label5}, false);
    cmdStart->setEnabled(true);
    cmdStop->setEnabled(false);
}

void StationWindow::startEndlessPeriod(const QString &chunk)
{
    Text3->setText(chunk);
    Text3->hide();
    setShown({Text4, Text5, Text6}, true);
    cmdStop->setEnabled(true);
    cmdStart->setEnabled(false);
    setShown({Text1, Text2}, false);
    setShown({Label1, Label2, Label4, Label5}, true);
    releaseInputBlock();
    RunEndless(SetEndTime());
}

void StationWindow::startTimedPeriod(const QString &chunk)
{
    Text3->setText(chunk);
    setShown({Label2, Label4, Label5, Text4, Text5, Text6, Text1}, false);
    setShown({Label3, Text2}, true);
    cmdStop->setEnabled(true);
    cmdStart->setEnabled(false);
    releaseInputBlock();
    RunCountdown(SetEndTime());
}

// Runs for the minutes left in the interval field, which any stop message empties:
// after a stop this is a period of no time, ending at once.
void StationWindow::cmdStartClicked()
{
    cmdStop->setEnabled(true);
    cmdStart->setEnabled(false);
    send(Protocol::startMessage(m_station));
    setShown({Text1, Text2, Label1}, true);
    RunCountdown(SetEndTime());
}

// The end moment: now, to the whole second, plus the minutes the interval field
// begins with. It is shown as date and time of day and handed to the display.
QDateTime StationWindow::SetEndTime()
{
    const QDateTime end
        = wholeSecondsNow().addSecs(60 * qint64(Protocol::leadingMinutes(Text3->text())));
    Text1->setText(TextFormats::date(end.date()));
    Text2->setText(TextFormats::timeOfDay(end.time()));
    return end;
}

void StationWindow::RunCountdown(const QDateTime &end)
{
    Text5->setText(TextFormats::timeOfDay(Clock::current().now().time()));
    DisplayedPeriod period;
    period.end = end;
    beginPeriod(period);
}

void StationWindow::RunEndless(const QDateTime &end)
{
    Text5->setText(TextFormats::timeOfDay(Clock::current().now().time()));
    DisplayedPeriod period;
    period.endless = true;
    period.end = end;
    period.start = wholeSecondsNow();
    beginPeriod(period);
}

// The period runs for the whole seconds from now to its end moment, on the
// monotonic count, so that a clock set meanwhile neither stretches nor cuts it.
void StationWindow::beginPeriod(DisplayedPeriod period)
{
    m_stopRequested = false;
    if (m_periods.size() == maxNestedPeriods)
        m_periods.erase(m_periods.begin());
    period.loopEndMs = Clock::current().elapsedMs() + 1000 * wholeSecondsNow().secsTo(period.end);
    m_periods.push_back(period);
    // While a period runs, each pass raises the window: the top-window timer would
    // only wake the PC a second time each second.
    Timer1->stop();
    runDisplay();
}

// Brings the innermost period up to date and sets the timer for its next step.
// A period that is over reports its stop and hands the display back to the one it
// interrupted, which is brought up to date in turn.
void StationWindow::runDisplay()
{
    while (!m_periods.empty()) {
        if (const std::optional<qint64> wakeMs = nextStep(m_periods.back())) {
            m_displayTimer->startAt(*wakeMs);
            return;
        }
        m_periods.pop_back();
        ReportStop();
    }
    m_displayTimer->stop();
    Timer1->start(topWindowIntervalMs);
}

// One step of a period: a pass at its start and whenever the shown second has
// changed, one last pass in the next second after a stop message, and at the end
// of its time a short pause before the stop. Returns when to look again, or
// nothing once the stop is due. A period that runs out thus shows and sends
// 00:00:00 last.
std::optional<qint64> StationWindow::nextStep(DisplayedPeriod &period)
{
    const qint64 nowMs = Clock::current().elapsedMs();
    if (period.stopAtMs) {
        if (m_stopRequested || nowMs >= *period.stopAtMs)
            return std::nullopt;
        return period.stopAtMs;
    }
    const qint64 nextSecondMs
        = nowMs + 1000 - Clock::current().now().time().msec() + passAfterSecondMs;
    const bool newSecond = wholeSecondsNow().toSecsSinceEpoch() != period.shownSecond;
    if (m_stopRequested) {
        // The last pass shows the next second rather than repeat the one shown;
        // a period whose last second is shown already has nothing more to show.
        if (period.passed && !newSecond) {
            if (period.shownSecond >= secondAt(period.loopEndMs))
                return std::nullopt;
            return nextSecondMs;
        }
        makePass(period);
        return std::nullopt;
    }
    if (!period.started) {
        period.started = true;
        if (nowMs < period.loopEndMs)
            makePass(period);
    } else if (nowMs < period.loopEndMs ? newSecond
                                        : period.shownSecond < secondAt(period.loopEndMs)) {
        // Once its time is up a period only shows the second its time ran out in,
        // should a late wake-up have missed it.
        makePass(period);
    }
    if (nowMs >= period.loopEndMs) {
        // A period that ran out sends its stop right behind its last time text.
        // Sent at once, the two often reach the console as one chunk, which it only
        // shows, so the period would stay open there. The pause lets the console
        // take the time text first.
        if (!period.passed)
            return std::nullopt;
        period.stopAtMs = nowMs + stopPauseMs;
        return period.stopAtMs;
    }
    return std::min(nextSecondMs, period.loopEndMs);
}

// The wall-clock second (since the epoch) in which the monotonic count reaches `ms`.
qint64 StationWindow::secondAt(qint64 ms) const
{
    const Clock &clock = Clock::current();
    return (clock.now().toMSecsSinceEpoch() + ms - clock.elapsedMs()) / 1000;
}

void StationWindow::makePass(DisplayedPeriod &period)
{
    period.passed = true;
    period.shownSecond = wholeSecondsNow().toSecsSinceEpoch();
    TopWindow();
    if (period.endless)
        endlessPass(period.end, period.start);
    else
        countdownPass(period.end);
}

void StationWindow::countdownPass(const QDateTime &end)
{
    showRemainingTime(end);
    const QString timeText = Label1->text();
    setWindowTitle(m_name + QStringLiteral(" Online - ") + timeText);
    sendTimeText(timeText);
}

void StationWindow::endlessPass(const QDateTime &end, const QDateTime &start)
{
    showRemainingTime(end);
    setWindowTitle(m_name + QStringLiteral(" - Endlos"));
    const QDateTime now = wholeSecondsNow();
    Text4->setText(TextFormats::timeOfDay(now.time()));
    // A clock set back while the period runs shows no time used rather than a negative one.
    Text6->setText(Protocol::elapsedTimeText(qMax<qint64>(0, start.secsTo(now))));
    sendTimeText(Text6->text());
}

// A clock set forward while the period runs shows 00:00:00 rather than a negative
// time until the period ends.
void StationWindow::showRemainingTime(const QDateTime &end)
{
    Label1->setText(Protocol::remainingTimeText(qMax<qint64>(0, wholeSecondsNow().secsTo(end))));
}

void StationWindow::ReportStop()
{
    send(Protocol::stopMessage(m_station));
    setWindowTitle(m_name + QStringLiteral(" - bitte freischalten."));
}

// The console takes each piece that arrives as one message: the stop, the start and
// the announcement leave on their own, apart from the time texts. Nothing is
// reported when the link is down: the text is simply lost.
void StationWindow::send(const QString &text)
{
    m_sender->send(text);
}

void StationWindow::sendTimeText(const QString &text)
{
    m_sender->send(text, SpacedSender::Spacing::Streamed);
}
