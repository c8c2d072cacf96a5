#include "StationView.h"

#include "ConsoleApp.h"
#include "MessageDialog.h"
#include "PcInfoWindow.h"
#include "StationSession.h"
#include "TextFormats.h"
#include "UsageDatabase.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>

namespace {
// An empty text clears the box as an edit the operator can undo, as Clear does.
void fillBox(QLineEdit *box, const QString &text)
{
    if (text.isEmpty())
        box->clear();
    else
        box->setText(text);
}

// An empty sum has no text: the box keeps what it showed.
void showAmount(QLineEdit *box, std::optional<qint64> units)
{
    if (units)
        box->setText(TextFormats::plainAmount(*units));
}

void showMinutes(QLineEdit *box, std::optional<qint64> minutes)
{
    if (minutes)
        box->setText(QString::number(*minutes));
}
}

StationView::StationView(QWidget *parent, StationSession &session, ConsoleApp &app, Place place)
    : QWidget(parent)
    , m_session(session)
    , m_app(app)
    , m_panel(place == Place::Column ? StationPanel::create(this, session.station())
                                     : StationPanel::createInCell(this, session.station()))
{
    setObjectName(QStringLiteral("fraClient%1").arg(session.station()));
    connectControls();
    connectDisplay();
}

void StationView::addStatistics()
{
    m_statistics = StatisticsBlock::create(this, m_session.station(), 0, statisticsTop);
    connect(m_statistics.months, &QComboBox::activated, this, &StationView::showMonthFees);
    connect(&m_session, &StationSession::totalsChanged, this, &StationView::showTotals);
    UsageDatabase &database = m_app.database();
    showAmount(m_statistics.totalFees, database.statistics().sumAllFees(m_session.station()));
    showMinutes(m_statistics.totalMinutes,
                database.recorder().readTotalMinutes(m_session.station()));
}

void StationView::fillMonthList()
{
    QComboBox *months = m_statistics.months;
    months->clear();
    months->addItems(m_app.database().statistics().listMonths(m_session.station()));
    months->setCurrentIndex(-1);
    months->clearEditText();
}

void StationView::setStatisticsVisible(bool visible)
{
    for (QWidget *control : std::as_const(m_statistics.controls))
        control->setVisible(visible);
}

void StationView::showMonthFees()
{
    UsageStatistics &sums = m_app.database().statistics();
    const QString month = m_statistics.months->currentText();
    showAmount(m_statistics.monthFees, sums.sumMonthFees(m_session.station(), month));
    showMinutes(m_statistics.monthMinutes, sums.sumMonthMinutes(m_session.station(), month));
}

void StationView::showTotals(const UsageTotals &totals)
{
    m_statistics.totalMinutes->setText(QString::number(totals.minutes));
    m_statistics.totalFees->setText(TextFormats::plainAmount(totals.feeUnits));
}

void StationView::connectControls()
{
    StationSession *session = &m_session;
    const auto startChosenInterval = [this] { m_session.start(m_panel.selectedInterval()); };
    connect(m_panel.start, &QPushButton::clicked, this, startChosenInterval);
    // The station's own start takes the interval chosen on the panel too.
    connect(session, &StationSession::startRequested, this, startChosenInterval);
    connect(m_panel.stop, &QPushButton::clicked, session, &StationSession::stop);
    connect(m_panel.withoutStation, &QPushButton::clicked, session,
            &StationSession::enableWithoutStation);
    // Only what the operator types: the session's own texts are its already.
    connect(m_panel.startTime, &QLineEdit::textEdited, session, &StationSession::correctStartText);
    connect(m_panel.pcInfo, &QPushButton::clicked, this,
            [this] { PcInfoWindow::showOrRaise(m_session.station(), window()); });
    connect(m_panel.extendMenu, &QMenu::triggered, this,
            [this](const QAction *choice) { m_session.extend(choice->data().toInt()); });
    connect(m_panel.moveMenu, &QMenu::aboutToShow, this, &StationView::offerMoveTargets);
    connect(m_panel.moveMenu, &QMenu::triggered, this,
            [this](const QAction *choice) { moveTo(choice->data().toInt()); });
    connect(m_panel.pause, &QPushButton::clicked, this, &StationView::pauseOrResume);

    m_panel.extendMenu->setTitle(QStringLiteral("Verlängern"));
    m_panel.moveMenu->setTitle(QStringLiteral("Platz wechseln"));
    m_panel.contextMenu->addMenu(m_panel.extendMenu);
    m_panel.contextMenu->addMenu(m_panel.moveMenu);
    m_pauseAction = m_panel.contextMenu->addAction(QStringLiteral("Pause"));
    connect(m_pauseAction, &QAction::triggered, this, &StationView::pauseOrResume);
    m_panel.extendMenu->menuAction()->setEnabled(false);
    m_panel.moveMenu->menuAction()->setEnabled(false);
    m_pauseAction->setEnabled(false);
}

// The stations free to take the period, named as their panels are.
void StationView::offerMoveTargets()
{
    m_panel.moveMenu->clear();
    for (const int station : m_app.moveTargets(m_session))
        m_panel.moveMenu->addAction(QStringLiteral("nach Client %1").arg(station))
            ->setData(station);
    if (m_panel.moveMenu->isEmpty())
        m_panel.moveMenu->addAction(QStringLiteral("kein freier Platz"))->setEnabled(false);
}

void StationView::moveTo(int station)
{
    if (const Failure failure = m_app.movePeriod(m_session, station))
        MessageDialog::show(window(),
                            {QStringLiteral("Kavo"), failure.text(), QMessageBox::Warning});
}

void StationView::pauseOrResume()
{
    if (m_session.periodPaused())
        m_session.resume();
    else
        m_session.pause();
}

void StationView::connectDisplay()
{
    StationSession *session = &m_session;
    connect(session, &StationSession::headingChanged, this,
            [this](StationSession::Heading heading) {
                using Heading = StationSession::Heading;
                m_panel.setHeadingColour(heading == Heading::Running     ? StationPanel::green
                                             : heading == Heading::Alarm ? StationPanel::amber
                                                                         : StationPanel::red);
                m_panel.showAlarmOnRunningTime(heading == Heading::Alarm);
            });
    connect(session, &StationSession::startTextChanged, this,
            [this](const QString &text) { fillBox(m_panel.startTime, text); });
    connect(session, &StationSession::stopTextChanged, this,
            [this](const QString &text) { fillBox(m_panel.stopTime, text); });
    connect(session, &StationSession::durationTextChanged, this,
            [this](const QString &text) { fillBox(m_panel.duration, text); });
    connect(session, &StationSession::feeTextChanged, this,
            [this](const QString &text) { fillBox(m_panel.fee, text); });
    // While a period runs, the fee box shows what it costs so far.
    connect(session, &StationSession::runningFeeChanged, this,
            [this](const QString &text) { fillBox(m_panel.fee, text); });
    connect(session, &StationSession::extendEnabledChanged, this, [this](bool enabled) {
        m_panel.extend->setEnabled(enabled);
        m_panel.extendMenu->menuAction()->setEnabled(enabled);
    });
    connect(session, &StationSession::moveEnabledChanged, this, [this](bool enabled) {
        m_panel.move->setEnabled(enabled);
        m_panel.moveMenu->menuAction()->setEnabled(enabled);
    });
    connect(session, &StationSession::pauseEnabledChanged, this, [this](bool enabled) {
        m_panel.pause->setEnabled(enabled);
        m_pauseAction->setEnabled(enabled);
    });
    connect(session, &StationSession::pausedChanged, this, [this](bool paused) {
        m_panel.showPaused(paused);
        m_pauseAction->setText(paused ? QStringLiteral("Weiter") : QStringLiteral("Pause"));
    });
    connect(session, &StationSession::runningTimeChanged, m_panel.runningTime, &QLabel::setText);
    connect(session, &StationSession::controlsEnabledChanged, this, [this](bool enabled) {
        for (QWidget *control : m_panel.stationControls())
            control->setEnabled(enabled);
    });
    connect(session, &StationSession::startEnabledChanged, m_panel.start, &QWidget::setEnabled);
    connect(session, &StationSession::stopEnabledChanged, m_panel.stop, &QWidget::setEnabled);
    connect(session, &StationSession::periodStarted, this, [this] { m_panel.stop->setFocus(); });
    connect(session, &StationSession::intervalShown, this, &StationView::showInterval);
    connect(session, &StationSession::linkReportChanged, m_panel.heading, &QWidget::setToolTip);
}

void StationView::showInterval(int minutes)
{
    m_panel.clearIntervals();
    for (qsizetype i = 0; i < m_panel.intervals.size(); ++i) {
        if (StationPanel::intervalMinutes[i] == minutes)
            m_panel.intervals[i]->setChecked(true);
    }
}
