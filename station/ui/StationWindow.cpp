#include "StationWindow.h"

#include "DaytimeClock.h"
#include "DaytimeRequest.h"
#include "EntryField.h"
#include "MessageDialog.h"
#include "OpenWindowGuard.h"
#include "StationLock.h"
#include "Twips.h"

#include <QDebug>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {
constexpr int clientWidth = 3180;
// Tall enough for the time boxes' whole height; the boxes that only hold values
// lie below it.
constexpr int clientHeight = 1425;
constexpr int keepOnTopIntervalMs = 1000;
}

StationWindow::StationWindow(int station, const QString &programDirectory,
                             std::optional<quint16> consolePort, QWidget *parent)
    : StationWindow(station, programDirectory, consolePort, true, parent)
{
}

StationWindow::StationWindow(int station, const QString &programDirectory,
                             std::optional<quint16> consolePort, bool connects, QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                  | Qt::WindowCloseButtonHint)
    , m_display(station, programDirectory, consolePort, this)
{
    setObjectName(m_display.name());
    // The window offers no minimise button; one minimised all the same comes back
    // at once, and at the latest on the next tick.
    new OpenWindowGuard(this, [this] { showIfMinimised(); });
    setWindowTitle(m_display.name());
    setFixedSize(Twips::toPixels(clientWidth), Twips::toPixels(clientHeight));
    placeInScreenCorner(station);
    createControls();
    bindDisplay();
    if (m_display.settings().lockActive())
        m_lock = new StationLock(m_display, this);
    m_display.start(connects);
    m_keepOnTopTimer->start(keepOnTopIntervalMs);
    startTimeServerRequest();
}

StationWindow::StationWindow(const StationNumber &number, const QString &programDirectory,
                             QWidget *parent)
    : StationWindow(number.value(), programDirectory, std::nullopt, number.connects(), parent)
{
    if (number.problem().isEmpty())
        return;
    QTimer::singleShot(0, this, [this, problem = number.problem()] {
        MessageDialog::show(this, {StationNumber::problemTitle(), problem, QMessageBox::Warning});
    });
}

// The window sits in the top right corner of the screen, out of the customer's way;
// each further station's a little lower, so that several show when they share one
// screen. Below the screen's foot they begin again at the top.
void StationWindow::placeInScreenCorner(int station)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int margin = 8;
    const int step = height() + 4 * margin;
    const int rows = qMax(1, (area.height() - margin) / step);
    move(area.right() - width() - margin, area.top() + margin + ((station - 1) % rows) * step);
}

void StationWindow::createControls()
{
    m_connectButton = addControl(new QPushButton(QStringLiteral("Verbinden"), this), "cmdVerbinden",
                                 0, 120, 1815, 255);
    m_startButton
        = addControl(new QPushButton(QStringLiteral("Start"), this), "cmdStart", 0, 480, 855, 255);
    m_stopButton
        = addControl(new QPushButton(QStringLiteral("Stop"), this), "cmdStop", 960, 480, 855, 255);
    m_endTimeLabel
        = addControl(new QLabel(QStringLiteral("Endzeit:"), this), "Label3", 1920, 120, 975, 255);
    m_endTimeField
        = addControl(new EntryField(QLatin1Char(':'), this), "Text2", 1920, 360, 975, 285);
    m_startTimeLabel
        = addControl(new QLabel(QStringLiteral("Startzeit"), this), "Label2", 0, 840, 735, 255);
    m_currentTimeLabel = addControl(new QLabel(QStringLiteral("aktuelle Zeit"), this), "Label4",
                                    1080, 840, 975, 255);
    m_usedTimeLabel
        = addControl(new QLabel(QStringLiteral("Differenz"), this), "Label5", 2160, 840, 1095, 255);
    m_startTimeField = addControl(new QLineEdit(this), "Text5", 0, 1080, 1095, 285);
    m_currentTimeField = addControl(new QLineEdit(this), "Text4", 1080, 1080, 975, 285);
    m_usedTimeField = addControl(new QLineEdit(this), "Text6", 2160, 1080, 975, 285);
    // Below the client area, out of sight: they only hold values.
    m_endDateField
        = addControl(new EntryField(QLatin1Char('.'), this), "Text1", 2160, 1440, 975, 285);
    m_intervalField = addControl(new EntryField(QChar(), this), "Text3", 1440, 1440, 615, 285);
    m_intervalLabel = addControl(new QLabel(QStringLiteral("Zeitintervall (min):"), this),
                                 "lbMinute", 0, 1440, 1335, 255);
    m_remainingTimeText = addControl(new QLabel(this), "Label1", 0, 1680, 1455, 255);
    // Over the period's lower row, which a link that cannot come up leaves empty.
    m_linkProblem = addControl(new QLabel(this), "lblHinweis", 0, 840, clientWidth, 585);
    m_linkProblem->setWordWrap(true);
    m_linkProblem->setAutoFillBackground(true);
    m_linkProblem->setStyleSheet(QStringLiteral("color: #a00000; font-size: 7pt;"));
    m_linkProblem->hide();
    // Between the end time and the row below, free in either kind of period.
    m_price = addControl(new QLabel(this), "lblPreis", 1920, 645, clientWidth - 1920, 195);
    m_price->setStyleSheet(QStringLiteral("font-size: 7pt;"));
    m_price->setToolTip(QStringLiteral("Was die Nutzung bisher kostet"));
    m_price->hide();

    m_startTimeField->setToolTip(QStringLiteral("Startzeitpunkt"));
    m_currentTimeField->setToolTip(QStringLiteral("aktuelle Zeit"));
    m_usedTimeField->setToolTip(QStringLiteral("verbrauchte Zeit"));

    m_keepOnTopTimer = new QTimer(this);
    m_keepOnTopTimer->setObjectName(QStringLiteral("Timer1"));
    connect(m_keepOnTopTimer, &QTimer::timeout, this, &StationWindow::bringToFront);
}

template<typename Control>
Control *StationWindow::addControl(Control *control, const char *name, int left, int top, int width,
                                   int height)
{
    control->setObjectName(QLatin1String(name));
    Twips::place(control, left, top, width, height);
    return control;
}

// Binds the controls to the display: what it says is shown, what the customer does
// is handed to it.
void StationWindow::bindDisplay()
{
    StationDisplay *display = &m_display;
    connect(m_connectButton, &QPushButton::clicked, display, &StationDisplay::reconnect);
    connect(m_startButton, &QPushButton::clicked, display, &StationDisplay::startByCustomer);
    connect(m_stopButton, &QPushButton::clicked, display, &StationDisplay::reportStop);
    connect(m_intervalField, &QLineEdit::textEdited, display, &StationDisplay::setInterval);

    connect(display, &StationDisplay::captionChanged, this, &QWidget::setWindowTitle);
    connect(display, &StationDisplay::shownChanged, this,
            [this](StationDisplay::Item item, bool shown) { widgetOf(item)->setVisible(shown); });
    connect(display, &StationDisplay::canConnectChanged, m_connectButton, &QWidget::setEnabled);
    connect(display, &StationDisplay::canStartChanged, m_startButton, &QWidget::setEnabled);
    connect(display, &StationDisplay::canStopChanged, m_stopButton, &QWidget::setEnabled);

    connect(display, &StationDisplay::endDateChanged, m_endDateField, &QLineEdit::setText);
    connect(display, &StationDisplay::endTimeChanged, m_endTimeField, &QLineEdit::setText);
    connect(display, &StationDisplay::intervalChanged, m_intervalField, &QLineEdit::setText);
    connect(display, &StationDisplay::currentTimeChanged, m_currentTimeField, &QLineEdit::setText);
    connect(display, &StationDisplay::startTimeChanged, m_startTimeField, &QLineEdit::setText);
    connect(display, &StationDisplay::usedTimeChanged, m_usedTimeField, &QLineEdit::setText);
    connect(display, &StationDisplay::remainingTimeChanged, m_remainingTimeText, &QLabel::setText);
    connect(display, &StationDisplay::priceChanged, this, [this](const QString &text) {
        m_price->setText(QStringLiteral("Bisher ") + text);
        m_price->setVisible(!text.isEmpty());
    });

    connect(display, &StationDisplay::raiseRequested, this, &StationWindow::bringToFront);
    connect(display, &StationDisplay::runningChanged, this, &StationWindow::keepOnTopWhileIdle);
    connect(display, &StationDisplay::linkProblemChanged, this, &StationWindow::showLinkProblem);
}

QWidget *StationWindow::widgetOf(StationDisplay::Item item) const
{
    using Item = StationDisplay::Item;
    switch (item) {
    case Item::EndDate:
        return m_endDateField;
    case Item::EndTime:
        return m_endTimeField;
    case Item::Interval:
        return m_intervalField;
    case Item::CurrentTime:
        return m_currentTimeField;
    case Item::StartTime:
        return m_startTimeField;
    case Item::UsedTime:
        return m_usedTimeField;
    case Item::RemainingTime:
        return m_remainingTimeText;
    case Item::StartTimeLabel:
        return m_startTimeLabel;
    case Item::EndTimeLabel:
        return m_endTimeLabel;
    case Item::CurrentTimeLabel:
        return m_currentTimeLabel;
    case Item::UsedTimeLabel:
        return m_usedTimeLabel;
    case Item::IntervalLabel:
        return m_intervalLabel;
    }
    Q_UNREACHABLE();
    return nullptr;
}

// Client.ini may name another time server, or none. Under the lock a failed request
// shows no box, which would lie hidden below the cover, waiting for a click nobody
// can give: it goes to the program's error output.
void StationWindow::startTimeServerRequest()
{
    const QString server = m_display.settings().timeServer();
    if (server.isEmpty())
        return;
    if (server != QLatin1String(DaytimeClock::TimeServerHost))
        DaytimeRequest::setServer(server, DaytimeClock::DaytimePort);
    auto *request = new DaytimeRequest(this);
    connect(request, &DaytimeRequest::failed, this, [this] {
        if (m_lock) {
            qWarning().noquote() << DaytimeRequest::failureTitle() + QStringLiteral(": ")
                    + DaytimeRequest::failureText();
            return;
        }
        MessageDialog::show(this, {DaytimeRequest::failureTitle(), DaytimeRequest::failureText()});
    });
    request->start();
}

// Under the lock's cover the window stays where it is: raised, it would come
// between the cover and the customer.
void StationWindow::bringToFront()
{
    showIfMinimised();
    if (m_lock && m_lock->isCovering())
        return;
    raise();
}

// While a period runs, each of its passes brings the window to the front: the
// timer would only wake the PC a second time each second.
void StationWindow::keepOnTopWhileIdle(bool periodRunning)
{
    if (periodRunning)
        m_keepOnTopTimer->stop();
    else
        m_keepOnTopTimer->start(keepOnTopIntervalMs);
}

// Told in the window itself, never in a box: under the lock's cover nobody could
// answer one. The whole text is in the tooltip.
void StationWindow::showLinkProblem(const QString &text)
{
    m_linkProblem->setText(text);
    m_linkProblem->setToolTip(text);
    m_linkProblem->setVisible(!text.isEmpty());
    m_linkProblem->raise();
}

void StationWindow::showIfMinimised()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
}
