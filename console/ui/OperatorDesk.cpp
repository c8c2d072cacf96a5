#include "OperatorDesk.h"

#include "ChainCheck.h"
#include "Clock.h"
#include "MessageDialog.h"
#include "OperatorsDialog.h"
#include "SignInDialog.h"
#include "TariffHistoryDialog.h"
#include "UsageDatabase.h"
#include "VoidDialog.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>

namespace {
// Entries the whole check reads between two turns of the event loop.
constexpr int entriesPerStep = 20'000;

QAction *addItem(QMenu *menu, const char *name, const QString &caption)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}
}

OperatorDesk::OperatorDesk(UsageDatabase &database, QMainWindow &window)
    : QObject(&window)
    , m_database(database)
    , m_window(window)
    , m_signIn(database.roster(), database.incidents())
    , m_onDuty{database.recorder().operatorName(), OnDuty::Unguarded}
{
}

OperatorDesk::~OperatorDesk() = default;

void OperatorDesk::setOnDuty(const OnDuty &onDuty)
{
    m_onDuty = onDuty;
    m_database.recorder().setOperatorName(onDuty.name);
    emit onDutyChanged(onDuty);
}

bool OperatorDesk::signInAtStart()
{
    return !m_database.roster().hasOwner() || signIn();
}

bool OperatorDesk::signIn()
{
    SignInDialog dialog(m_signIn, m_database.roster().operatorNames(), &m_window);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    setOnDuty(dialog.onDuty());
    return true;
}

void OperatorDesk::addMenuItems(QMenu *tools)
{
    m_tools = tools;
    QAction *operators
        = addItem(tools, "mnuToolsOperators", QStringLiteral("&Betreiber und Rechte…"));
    connect(operators, &QAction::triggered, this, &OperatorDesk::showOperators);
    addGuardedItems();
}

// The steps of a console with an owner, once there is one.
void OperatorDesk::addGuardedItems()
{
    if (m_shiftAction || !m_database.roster().hasOwner())
        return;
    m_shiftAction = addItem(m_tools, "mnuToolsShift", QStringLiteral("&Schicht wechseln"));
    QAction *voidAction = addItem(m_tools, "mnuToolsVoid", QStringLiteral("S&tornieren…"));
    QAction *checkAction = addItem(m_tools, "mnuToolsChain", QStringLiteral("&Kette prüfen…"));
    connect(m_shiftAction, &QAction::triggered, this, &OperatorDesk::changeShift);
    connect(voidAction, &QAction::triggered, this, &OperatorDesk::voidRecord);
    connect(checkAction, &QAction::triggered, this, &OperatorDesk::checkWholeChain);
    QAction *tariffs = addItem(m_tools, "mnuToolsTariffs", QStringLiteral("Tarif&verlauf…"));
    connect(tariffs, &QAction::triggered, this, [this] {
        TariffHistoryDialog dialog(m_database.tariffHistory(), &m_window);
        dialog.exec();
    });
}

QString OperatorDesk::askOwnerPin(const QString &why)
{
    bool given = false;
    const QString pin = QInputDialog::getText(&m_window, QStringLiteral("PIN des Inhabers"), why,
                                              QLineEdit::Password, QString(), &given);
    return given ? pin : QString();
}

bool OperatorDesk::allows(OnDuty::Step step)
{
    if (m_onDuty.may(step))
        return true;
    const QString pin = askOwnerPin(
        QStringLiteral("Dieser Schritt ist dem Inhaber vorbehalten. PIN des Inhabers:"));
    if (pin.isEmpty())
        return false;
    if (m_database.roster().isOwnerPin(pin))
        return true;
    MessageDialog::show(&m_window,
                        {QStringLiteral("Kavo"),
                         QStringLiteral("Die PIN des Inhabers stimmt nicht."),
                         QMessageBox::Warning});
    return false;
}

void OperatorDesk::showOperators()
{
    if (!allows(OnDuty::OperatorList))
        return;
    OperatorsDialog dialog(m_database, &m_window);
    dialog.exec();
    addGuardedItems();
    if (m_database.roster().hasOwner() && m_onDuty.role == OnDuty::Unguarded)
        setOnDuty({OperatorRoster::ownerName, OnDuty::Owner});
}

// The shift closes with the operator leaving; the next one signs in. Until he
// does, the one leaving stays on duty.
void OperatorDesk::changeShift()
{
    std::optional<Closing> shift
        = m_database.closings().shift(Clock::current().now(), m_onDuty.name);
    const Failure failure = shift ? m_database.closings().save(*shift)
                                  : Failure(QStringLiteral("Die Belege sind nicht lesbar."));
    if (failure) {
        MessageDialog::show(
            &m_window,
            {QStringLiteral("Kavo"),
             QStringLiteral("Die Schicht ließ sich nicht abschließen: ") + failure.text(),
             QMessageBox::Warning});
        return;
    }
    signIn();
}

void OperatorDesk::voidRecord()
{
    if (!allows(OnDuty::Void))
        return;
    VoidDialog dialog(m_database.dayRecords(), m_database.stationCount(), &m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const int station = dialog.station();
    const qint64 number = dialog.number();
    const QString reason = dialog.reason();
    const Failure failure = m_database.recorder().voidRecord(station, number, reason);
    MessageDialog::show(&m_window,
                        {QStringLiteral("Kavo"),
                         failure ? failure.text()
                                 : QStringLiteral("Beleg Nr. %1 von Station %2 ist storniert.")
                                       .arg(QString::number(number), QString::number(station)),
                         failure ? QMessageBox::Warning : QMessageBox::Information});
}

void OperatorDesk::checkChainAtStart()
{
    if (!m_database.chain().isActive())
        return;
    const std::unique_ptr<ChainCheck> check = m_database.chainCheck(ChainCheck::SinceLastCheck);
    check->run();
    noteFindings(check->findings());
    (void)check->keep();
    showBanner();
}

void OperatorDesk::checkWholeChain()
{
    if (m_wholeCheck)
        return;
    m_wholeCheck = m_database.chainCheck(ChainCheck::Whole);
    m_progress = new QProgressDialog(QStringLiteral("Die Kette wird geprüft…"),
                                     QStringLiteral("Abbrechen"), 0, 1000, &m_window);
    m_progress->setObjectName(QStringLiteral("frmKettenPruefung"));
    m_progress->setWindowTitle(QStringLiteral("Kette prüfen"));
    m_progress->setAttribute(Qt::WA_DeleteOnClose);
    m_progress->setMinimumDuration(0);
    m_checkTimer = new QTimer(m_progress);
    connect(m_checkTimer, &QTimer::timeout, this, &OperatorDesk::stepWholeCheck);
    connect(m_progress, &QProgressDialog::canceled, this, [this] {
        m_checkTimer->stop();
        m_wholeCheck.reset();
        m_progress->close();
    });
    m_checkTimer->start(0);
}

void OperatorDesk::stepWholeCheck()
{
    const bool more = m_wholeCheck->step(entriesPerStep);
    const qint64 total = qMax<qint64>(1, m_wholeCheck->total());
    m_progress->setValue(int(qMin<qint64>(999, m_wholeCheck->checked() * 1000 / total)));
    if (more)
        return;
    m_checkTimer->stop();
    const QStringList findings = m_wholeCheck->findings();
    const qint64 checked = m_wholeCheck->checked();
    m_wholeCheck.reset();
    m_progress->close();
    noteFindings(findings);
    showBanner();
    MessageDialog::show(
        &m_window,
        {QStringLiteral("Kavo"),
         findings.isEmpty()
             ? QStringLiteral("Die Kette ist unversehrt: %1 Belege und die Abschlüsse geprüft.")
                   .arg(checked)
             : QStringLiteral("Die Prüfung der Kette fand:\n") + findings.join('\n'),
         findings.isEmpty() ? QMessageBox::Information : QMessageBox::Warning});
}

// A finding still open is noted once.
void OperatorDesk::noteFindings(const QStringList &findings)
{
    QStringList open;
    for (const Incident &incident : m_database.incidents().open())
        open.append(incident.text);
    for (const QString &finding : findings) {
        if (!open.contains(finding))
            (void)m_database.incidents().note(finding);
    }
}

// Made when first needed, so that a console without findings has no trace of it.
void OperatorDesk::makeBanner()
{
    m_banner = new QToolBar(&m_window);
    m_banner->setObjectName(QStringLiteral("tbKettenWarnung"));
    m_banner->setMovable(false);
    m_banner->setStyleSheet(QStringLiteral("QToolBar { background: #ffd24d; }"));
    m_bannerText = new QLabel(m_banner);
    m_bannerText->setObjectName(QStringLiteral("lblKettenWarnung"));
    m_bannerText->setWordWrap(true);
    m_banner->addWidget(m_bannerText);
    auto *acknowledgeButton = new QPushButton(QStringLiteral("&Quittieren…"), m_banner);
    acknowledgeButton->setObjectName(QStringLiteral("cmdQuittieren"));
    m_banner->addWidget(acknowledgeButton);
    connect(acknowledgeButton, &QPushButton::clicked, this, &OperatorDesk::acknowledge);
    m_window.addToolBar(Qt::TopToolBarArea, m_banner);
}

void OperatorDesk::showBanner()
{
    const QList<Incident> open = m_database.incidents().open();
    if (!m_banner && open.isEmpty())
        return;
    if (!m_banner)
        makeBanner();
    QStringList lines;
    for (const Incident &incident : open)
        lines.append(incident.text);
    m_bannerText->setText(QStringLiteral("Für den Inhaber: ") + lines.join(QLatin1Char('\n')));
    m_banner->setVisible(!open.isEmpty());
}

void OperatorDesk::acknowledge()
{
    const QString pin = askOwnerPin(QStringLiteral("Zum Quittieren die PIN des Inhabers:"));
    if (pin.isEmpty())
        return;
    if (!m_database.roster().isOwnerPin(pin)) {
        MessageDialog::show(&m_window,
                            {QStringLiteral("Kavo"),
                             QStringLiteral("Die PIN des Inhabers stimmt nicht."),
                             QMessageBox::Warning});
        return;
    }
    (void)m_database.incidents().acknowledge(OperatorRoster::ownerName);
    showBanner();
}
