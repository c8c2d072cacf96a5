#include "StationController.h"

#include "MessageDialog.h"
#include "PeriodMove.h"
#include "StationSession.h"

#include <QAction>
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
}

StationController::StationController(StationPanel &panel, StationSession &session,
                                     const std::vector<std::unique_ptr<StationSession>> &sessions,
                                     UsageLedger &ledger, QObject *parent)
    : QObject(parent)
    , m_panel(panel)
    , m_session(session)
    , m_sessions(sessions)
    , m_ledger(ledger)
{
    connectControls();
    connectDisplay();
}

bool StationController::periodRunning() const
{
    return m_session.periodRunning();
}

void StationController::connectControls()
{
    StationSession *session = &m_session;
    const auto startChosenInterval = [this] { m_session.start(m_panel.selectedInterval()); };
    connect(m_panel.start, &QPushButton::clicked, this, startChosenInterval);
    // The station's own start takes the interval chosen on the panel too.
    connect(session, &StationSession::startRequested, this, startChosenInterval);
    connect(m_panel.stop, &QPushButton::clicked, session, &StationSession::stop);
    connect(m_panel.withoutStation, &QPushButton::clicked, session,
            &StationSession::enableWithoutStation);
    connect(m_panel.startTime, &QLineEdit::textChanged, session, &StationSession::correctStartText);
    connect(m_panel.extendMenu, &QMenu::triggered, this,
            [this](const QAction *choice) { m_session.extend(choice->data().toInt()); });
    connect(m_panel.moveMenu, &QMenu::aboutToShow, this, &StationController::offerMoveTargets);
    connect(m_panel.moveMenu, &QMenu::triggered, this,
            [this](const QAction *choice) { moveTo(choice->data().toInt()); });
    connect(m_panel.pause, &QPushButton::clicked, this, &StationController::pauseOrResume);

    m_panel.extendMenu->setTitle(QStringLiteral("Verlängern"));
    m_panel.moveMenu->setTitle(QStringLiteral("Platz wechseln"));
    m_panel.contextMenu->addMenu(m_panel.extendMenu);
    m_panel.contextMenu->addMenu(m_panel.moveMenu);
    m_pauseAction = m_panel.contextMenu->addAction(QStringLiteral("Pause"));
    connect(m_pauseAction, &QAction::triggered, this, &StationController::pauseOrResume);
    m_panel.extendMenu->menuAction()->setEnabled(false);
    m_panel.moveMenu->menuAction()->setEnabled(false);
    m_pauseAction->setEnabled(false);
}

// The stations free to take the period, named as their panels are.
void StationController::offerMoveTargets()
{
    m_panel.moveMenu->clear();
    for (const auto &other : m_sessions) {
        if (other.get() != &m_session && other->takesMovedPeriod())
            m_panel.moveMenu->addAction(QStringLiteral("nach Client %1").arg(other->station()))
                ->setData(other->station());
    }
    if (m_panel.moveMenu->isEmpty())
        m_panel.moveMenu->addAction(QStringLiteral("kein freier Platz"))->setEnabled(false);
}

void StationController::moveTo(int station)
{
    if (station < 1 || station > int(m_sessions.size()))
        return;
    PeriodMove move(m_session, *m_sessions[station - 1], m_ledger);
    if (const Failure failure = move.run())
        MessageDialog::show(m_panel.heading->window(),
                            {QStringLiteral("Kavo"), failure.text(), QMessageBox::Warning});
}

void StationController::pauseOrResume()
{
    if (m_session.periodPaused())
        m_session.resume();
    else
        m_session.pause();
}

void StationController::connectDisplay()
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
    connect(session, &StationSession::intervalShown, this, &StationController::showInterval);
    connect(session, &StationSession::linkReportChanged, m_panel.heading, &QWidget::setToolTip);
}

void StationController::showInterval(int minutes)
{
    m_panel.clearIntervals();
    for (qsizetype i = 0; i < m_panel.intervals.size(); ++i) {
        if (StationPanel::intervalMinutes[i] == minutes)
            m_panel.intervals[i]->setChecked(true);
    }
}
