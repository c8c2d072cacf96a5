#include "MainWindow.h"

#include "AboutDialog.h"
#include "CafeOverview.h"
#include "Clock.h"
#include "ClosingWindow.h"
#include "DatabaseLock.h"
#include "ExcelExport.h"
#include "HelpContents.h"
#include "MessageDialog.h"
#include "OperatorDesk.h"
#include "OptionsDialog.h"
#include "PcInfoWindow.h"
#include "ProgramEnd.h"
#include "Protocol.h"
#include "RecoveredPeriods.h"
#include "SingleInstance.h"
#include "StationController.h"
#include "StationSession.h"
#include "StatisticsPanel.h"
#include "TakingsWindow.h"
#include "TextFormats.h"
#include "TimemasterWindow.h"
#include "Twips.h"
#include "UsageDatabase.h"
#include "UsageLedger.h"
#include "WorkbookViewer.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {
struct GeometryKey
{
    const char *name;
    double fallback;
};
// In the order they are read and stored: Left, Top, Width, Height.
constexpr GeometryKey geometryKeys[]
    = {{"MainLeft", 1000}, {"MainTop", 1000}, {"MainWidth", 16500}, {"MainHeight", 3000}};

// The per-user store of the window geometry: application Kavo, section Settings.
std::unique_ptr<QSettings> openGeometryStore()
{
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                QStringLiteral("Kavo"), QStringLiteral("Kavo"));
    settings->beginGroup(QStringLiteral("Settings"));
    return settings;
}

// Stored values far beyond any screen are held to a range that stays a valid pixel
// number; what lies outside every screen is then moved by visiblePosition.
double withinPixelRange(double twips)
{
    constexpr double limit = 1e7;
    return std::isnan(twips) ? 0.0 : std::clamp(twips, -limit, limit);
}

// True when at least a corner of the window (64 by 64 pixels, or the whole window
// if it is smaller) lies on one screen, so that the operator can reach it.
bool showsACorner(const QRect &window)
{
    const QSize corner(std::min(window.width(), 64), std::min(window.height(), 64));
    for (const QScreen *screen : QGuiApplication::screens()) {
        const QRect visible = window.intersected(screen->availableGeometry());
        if (!visible.isEmpty() && visible.width() >= corner.width()
            && visible.height() >= corner.height())
            return true;
    }
    return false;
}

// The stored position if the window shows there, else the default position on the
// primary screen.
QPoint visiblePosition(const QRect &window)
{
    if (showsACorner(window))
        return window.topLeft();
    const QScreen *primary = QGuiApplication::primaryScreen();
    const QPoint origin = primary ? primary->availableGeometry().topLeft() : QPoint();
    return origin
        + QPoint(Twips::toPixels(geometryKeys[0].fallback),
                 Twips::toPixels(geometryKeys[1].fallback));
}

QAction *addItem(QMenu *menu, const char *name, const QString &caption)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

void addSeparator(QMenu *menu, const char *name)
{
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

QMenu *addMenu(QMenuBar *bar, const char *name, const QString &caption)
{
    QMenu *menu = bar->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    return menu;
}
}

MainWindow::MainWindow(const QString &programDir, QWidget *parent)
    : QMainWindow(parent)
    , m_programDir(programDir)
    , m_lock(std::make_unique<DatabaseLock>())
    , m_database(std::make_unique<UsageDatabase>())
{
    setObjectName(QStringLiteral("frmMain"));
    createMenus();
    createStatusBar();
}

MainWindow::~MainWindow() = default;

// A panel and statistics for each station Kavo.ini asks for, made once.
void MainWindow::createStationArea()
{
    m_area = StationArea::create(this, m_config.stationCount());
    setCentralWidget(m_area.widget);
    for (const StationPanel &panel : m_area.panels) {
        connect(panel.pcInfo, &QPushButton::clicked, this,
                [this, station = panel.station] { PcInfoWindow::showOrRaise(station, this); });
    }
}

quint16 MainWindow::stationPort(int station) const
{
    return station <= m_stationPorts.size() ? m_stationPorts[station - 1] : Protocol::port(station);
}

// A station count that can't be used is told once; the console serves two stations.
// Then the stations' addresses that can't be used, together.
void MainWindow::reportStationSettingProblems()
{
    const QString problem = m_config.stationCountProblem();
    if (!problem.isEmpty())
        MessageDialog::show(this, {QStringLiteral("Kavo"), problem, QMessageBox::Warning});
    const QStringList addressProblems
        = m_config.stationAddressProblems() + m_config.stationKeyProblems();
    if (!addressProblems.isEmpty())
        MessageDialog::show(
            this, {QStringLiteral("Kavo"), addressProblems.join(u'\n'), QMessageBox::Warning});
}

void MainWindow::createMenus()
{
    QMenuBar *bar = menuBar();
    QMenu *file = addMenu(bar, "mnuFile", QStringLiteral("&Datei"));
    QAction *open = addItem(file, "mnuFileOpen", QStringLiteral("Ö&ffnen..."));
    QAction *closeAtOnce = addItem(file, "mnuFileClose", QStringLiteral("S&chließen"));
    addSeparator(file, "mnuFileBar0");
    m_exportAction = addItem(file, "mnuFileExport", QStringLiteral("E&xcel Ausgabe"));
    addSeparator(file, "mnuFileBar2");
    QAction *exit = addItem(file, "mnuFileExit", QStringLiteral("&Beenden"));

    QMenu *view = addMenu(bar, "mnuView", QStringLiteral("&Ansicht"));
    m_statusBarAction = addItem(view, "mnuViewStatusBar", QStringLiteral("Status&leiste"));
    m_statusBarAction->setCheckable(true);
    m_statusBarAction->setChecked(true);
    addSeparator(view, "mnuViewBar0");
    QAction *refresh = addItem(view, "mnuViewRefresh", QStringLiteral("&Aktualisieren"));
    QAction *takings = addItem(view, "mnuViewEinnahmen", QStringLiteral("Einnahmen…"));
    QAction *closing = addItem(view, "mnuViewTagesabschluss", QStringLiteral("Tagesabschluss…"));
    closing->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));

    QMenu *tools = addMenu(bar, "mnuTools", QStringLiteral("&Werkzeuge"));
    QAction *timemaster = addItem(tools, "mnuTimemaster", QStringLiteral("&Zeit aktuallisieren"));
    QAction *options = addItem(tools, "mnuToolsOptions", QStringLiteral("&Optionen..."));

    QMenu *help = addMenu(bar, "mnuHelp", QStringLiteral("&?"));
    QAction *contents = addItem(help, "mnuHelpContents", QStringLiteral("&Inhalt"));
    addSeparator(help, "mnuHelpBar0");
    QAction *about = addItem(help, "mnuHelpAbout", QStringLiteral("Inf&o "));

    connect(open, &QAction::triggered, this, &MainWindow::openWorkbook);
    connect(m_exportAction, &QAction::triggered, this, &MainWindow::exportExcel);
    connect(closeAtOnce, &QAction::triggered, this, [] { ProgramEnd::now(0); });
    connect(exit, &QAction::triggered, this, &QWidget::close);
    connect(m_statusBarAction, &QAction::toggled, this,
            [this](bool on) { statusBar()->setVisible(on); });
    connect(options, &QAction::triggered, this, [this] {
        if (!m_desk || m_desk->allows(OnDuty::Options))
            OptionsDialog::showOrRaise(ConsoleConfig::iniPath(m_programDir), this);
    });
    connect(takings, &QAction::triggered, this, [this] {
        TakingsWindow *window
            = TakingsWindow::showOrRaise(m_database->takings(), m_programDir, this);
        window->setExportAllowed(
            [this] { return !m_desk || m_desk->allows(OnDuty::ExportRecords); });
    });
    connect(closing, &QAction::triggered, this, [this] {
        const auto running = [this] {
            QList<RunningFigure> figures;
            for (const auto &session : m_sessions) {
                if (const std::optional<RunningFigure> figure = session->runningFigure())
                    figures.append(*figure);
            }
            return figures;
        };
        ClosingWindow::showOrRaise({m_database->closings(), m_database->recorder(), running},
                                   m_config.companyName, this);
    });
    connect(timemaster, &QAction::triggered, this, [this] { TimemasterWindow::showOrRaise(this); });
    connect(contents, &QAction::triggered, this, [this] { showHelpContents(this); });
    connect(about, &QAction::triggered, this, [this] {
        AboutDialog box(this);
        box.exec();
    });
    connect(refresh, &QAction::triggered, this, [this] {
        MessageDialog::show(
            this,
            {QStringLiteral("Kavo"), QStringLiteral("Noch nicht nötig."), QMessageBox::Warning});
    });
}

void MainWindow::createStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("sbStatusBar"));
    auto *product = new QWidget(bar);
    auto *icon = new QLabel(product);
    icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(16, 16));
    auto *name = new QLabel(QStringLiteral("Kavo - Tessaro"), product);
    name->setObjectName(QStringLiteral("sbProduct"));
    auto *layout = new QHBoxLayout(product);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->addWidget(icon);
    layout->addWidget(name);
    layout->addStretch();
    // All stations at a glance, once the stations are known.
    m_statusOverview = new QLabel(bar);
    m_statusOverview->setObjectName(QStringLiteral("sbUebersicht"));
    m_statusDate = new QLabel(bar);
    m_statusDate->setObjectName(QStringLiteral("sbDate"));
    m_statusTime = new QLabel(bar);
    m_statusTime->setObjectName(QStringLiteral("sbTime"));
    bar->addWidget(product, 1);
    bar->addPermanentWidget(m_statusOverview);
    bar->addPermanentWidget(m_statusDate);
    bar->addPermanentWidget(m_statusTime);
    updateStatusClock();
    auto *tick = new QTimer(this);
    connect(tick, &QTimer::timeout, this, &MainWindow::updateStatusClock);
    tick->start(1000);
}

void MainWindow::updateStatusClock()
{
    const QDateTime now = Clock::current().now();
    const QString today = TextFormats::date(now.date());
    // A new day's takings start from nothing.
    if (m_overview && today != m_statusDate->text())
        m_overview->refresh();
    m_statusDate->setText(today);
    m_statusTime->setText(TextFormats::timeOfDay(now.time()));
}

MainWindow::StartResult MainWindow::start(SingleInstance &instance)
{
    m_config = ConsoleConfig::read(m_programDir);
    if (!instance.claim())
        return {StartOutcome::AlreadyRunning, Failure::none()};
    connect(&instance, &SingleInstance::activationRequested, this, &MainWindow::bringToFront);
    createStationArea();
    reportStationSettingProblems();

    const QString databasePath = UsageDatabase::pathFor(m_programDir, m_config.dbName);
    // The lock comes first: nothing of the database is touched while another console holds it.
    if (Failure failure = Failure::ofFirst({
            [&] { return UsageDatabase::checkName(m_config.dbName); },
            [&] { return m_lock->acquire(databasePath); },
            [&] { return m_database->open(databasePath, m_config.stationCount()); },
            [&] { return recoverPeriods(databasePath); },
            [&] { return signIn(); },
            [&] { return restoreGeometryFromSettings(); },
        }))
        return {StartOutcome::Failed, failure};
    clearPeriodFields();
    createStationControllers();
    for (auto &session : m_sessions)
        session->setOnDuty(m_desk->onDuty());
    m_desk->checkChainAtStart();
    m_statisticsPanel->loadTotals();
    for (auto &session : m_sessions)
        session->listen();
    resumeOpenPeriods();
    offerUnservedPeriods();
    m_overview->refresh();
    reportMissingTotals();
    for (int station = 1; station <= stationCount(); ++station)
        m_statisticsPanel->fillMonthList(station);
    showCompanyName();
    setStatisticsVisible(m_config.showsStatistics());
    return {StartOutcome::Running, Failure::none()};
}

void MainWindow::createStationControllers()
{
    m_statisticsPanel = std::make_unique<StatisticsPanel>(statistics(), *m_database);
    for (StationPanel &panel : m_area.panels) {
        m_sessions.push_back(std::make_unique<StationSession>(
            panel.station, stationPort(panel.station), *m_ledger, tariffs()));
        m_sessions.back()->setAllowedAddress(m_config.stationAddressText(panel.station));
        m_sessions.back()->setKeyText(m_config.stationKeyText(panel.station));
        m_sessions.back()->setSendsPrice(m_config.sendsPriceTo(panel.station));
        m_controllers.push_back(
            std::make_unique<StationController>(panel, *m_sessions.back(), m_sessions, *m_ledger));
    }
    const auto showInStatusBar = [this](const QString &text) { statusBar()->showMessage(text); };
    for (auto &session : m_sessions) {
        connect(session.get(), &StationSession::problem, this, &MainWindow::reportProblem);
        connect(session.get(), &StationSession::notice, statusBar(), showInStatusBar);
        connect(session.get(), &StationSession::noticeOver, statusBar(),
                [this](const QString &text) {
                    if (statusBar()->currentMessage() == text)
                        statusBar()->clearMessage();
                });
        // Told quietly: a stranger trying again and again must not pile up messages.
        connect(session.get(), &StationSession::refusalsChanged, statusBar(), showInStatusBar);
    }
    connect(m_ledger.get(), &UsageLedger::totalsChanged, this,
            [this](int station, const UsageTotals &totals) {
                if (station <= stationCount())
                    m_statisticsPanel->showTotals(station, totals);
            });
    m_overview = std::make_unique<CafeOverview>(m_database->statistics(), stationCount());
    for (auto &session : m_sessions)
        m_overview->watch(*session);
    connect(m_overview.get(), &CafeOverview::textChanged, m_statusOverview, &QLabel::setText);
    connect(m_ledger.get(), &UsageLedger::totalsChanged, m_overview.get(), &CafeOverview::refresh);
}

// Who is on duty, where an owner set up operators; the tariffs in force are noted
// with him when they changed since.
Failure MainWindow::signIn()
{
    m_desk = new OperatorDesk(*m_database, *this);
    m_desk->addMenuItems(menuBar()->findChild<QMenu *>(QStringLiteral("mnuTools")));
    if (!m_desk->signInAtStart())
        return Failure(QStringLiteral("Niemand hat sich angemeldet; Kavo wird beendet."));
    connect(m_desk, &OperatorDesk::onDutyChanged, this, [this](const OnDuty &onDuty) {
        for (auto &session : m_sessions)
            session->setOnDuty(onDuty);
    });
    if (m_database->roster().hasOwner())
        (void)m_database->tariffHistory().note(tariffs(), m_desk->onDuty().name);
    return Failure::none();
}

// Pending records of an earlier run are written here, before anything else.
Failure MainWindow::recoverPeriods(const QString &databasePath)
{
    m_ledger = std::make_unique<UsageLedger>(*m_database,
                                             UsageLedger::sideFilePathFor(databasePath), tariffs());
    connect(m_ledger.get(), &UsageLedger::problem, this, &MainWindow::reportProblem);
    return m_ledger->recover();
}

// Every period left open is shown; one that began long ago or in the future goes
// on only if the operator wants it to, or is ended and billed now.
void MainWindow::resumeOpenPeriods()
{
    QStringList resumed;
    for (int station = 1; station <= stationCount(); ++station) {
        const std::optional<OpenPeriod> period = m_ledger->openPeriod(station);
        if (!period)
            continue;
        session(station).resumePeriod(*period);
        const QDateTime now = Clock::current().now();
        if (RecoveredPeriods::needsChoice(*period, now)
            && MessageDialog::show(this,
                                   {QStringLiteral("Kavo"),
                                    RecoveredPeriods::question(*period, now), QMessageBox::Question,
                                    QMessageBox::Yes | QMessageBox::No})
                != QMessageBox::Yes) {
            session(station).stop();
            continue;
        }
        resumed.append(RecoveredPeriods::description(*period));
    }
    if (!resumed.isEmpty())
        MessageDialog::show(this,
                            {QStringLiteral("Kavo"), RecoveredPeriods::resumedNotice(resumed),
                             QMessageBox::Information});
}

// Periods left open on stations above those served are billed now or left open,
// as the operator chooses, for a console that serves their stations again.
void MainWindow::offerUnservedPeriods()
{
    const QList<OpenPeriod> periods = m_ledger->unservedPeriods();
    if (periods.isEmpty())
        return;
    const QDateTime now = Clock::current().now();
    const MessageDialog::Request question{
        QStringLiteral("Kavo"),
        RecoveredPeriods::unservedQuestion(periods, stationCount(), tariffs(), now),
        QMessageBox::Question,
        QMessageBox::Yes | QMessageBox::No,
        {{QMessageBox::Yes, QStringLiteral("Jetzt abrechnen")},
         {QMessageBox::No, QStringLiteral("Später")}}};
    if (MessageDialog::show(this, question) != QMessageBox::Yes)
        return;
    for (const OpenPeriod &period : periods)
        m_ledger->finish(RecoveredPeriods::stoppedAt(period, tariffs(), now));
}

Tariffs MainWindow::tariffs() const
{
    return {m_config.tariffBase, m_config.tariffOver30, m_config.tariffOver60,
            m_config.capsFeesByLongerPeriods()};
}

void MainWindow::reportMissingTotals()
{
    for (int station : m_database->recorder().stationsWithoutTotals()) {
        MessageDialog::show(
            this,
            {QStringLiteral("Kavo"),
             QStringLiteral("In der Tabelle client%1stat fehlt die Zeile mit den Summen. Die"
                            " Nutzungen von Station %1 werden gespeichert, ihre Summen nicht"
                            " fortgeschrieben.")
                 .arg(station),
             QMessageBox::Warning});
    }
    for (int station : m_database->recorder().stationsWithUnreadableTotals())
        MessageDialog::show(this,
                            {QStringLiteral("Kavo"), UsageLedger::unreadableTotalsText(station),
                             QMessageBox::Warning});
}

// Shown once the stop or start at hand is complete, so that the box holds up
// neither the panel nor the station.
void MainWindow::reportProblem(const QString &text)
{
    QTimer::singleShot(0, this, [this, text] {
        MessageDialog::show(this, {QStringLiteral("Kavo"), text, QMessageBox::Warning});
    });
}

Failure MainWindow::restoreGeometryFromSettings()
{
    const std::unique_ptr<QSettings> settings = openGeometryStore();
    double values[4];
    for (int i = 0; i < 4; ++i) {
        const QString key = QString::fromLatin1(geometryKeys[i].name);
        if (!settings->contains(key)) {
            values[i] = fallbackGeometry(i);
            continue;
        }
        const QString text = settings->value(key).toString();
        const std::optional<double> value = TextFormats::parseDecimal(text);
        if (!value) {
            return Failure(
                QStringLiteral(
                    "Typen unverträglich: gespeicherter Wert %1 = \"%2\" ist keine Zahl.")
                    .arg(key, text));
        }
        values[i] = float(*value);
    }
    resize(Twips::toPixels(withinPixelRange(values[2])),
           Twips::toPixels(withinPixelRange(values[3])));
    const QPoint stored(Twips::toPixels(withinPixelRange(values[0])),
                        Twips::toPixels(withinPixelRange(values[1])));
    move(visiblePosition(QRect(stored, size())));
    return Failure::none();
}

// Where nothing is stored, the window takes the two-station window's place and
// size; a grid of more stations is shown whole, as far as the screen allows.
double MainWindow::fallbackGeometry(int key) const
{
    const bool isSize = key >= 2;
    if (!isSize || !m_area.isGrid())
        return geometryKeys[key].fallback;
    const QSize size = gridWindowSize();
    return Twips::fromPixels(key == 2 ? size.width() : size.height());
}

QSize MainWindow::gridWindowSize() const
{
    const QSize whole = m_area.fullSize
        + QSize(0, menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return whole;
    const QSize room = screen->availableGeometry().size()
        - QSize(Twips::toPixels(geometryKeys[0].fallback),
                Twips::toPixels(geometryKeys[1].fallback));
    QSize size = whole.boundedTo(room);
    // Cut off at the bottom, the grid scrolls, and its scroll bar takes room across.
    if (size.height() < whole.height())
        size.setWidth(std::min(whole.width() + style()->pixelMetric(QStyle::PM_ScrollBarExtent),
                               room.width()));
    return size;
}

void MainWindow::storeGeometryInSettings()
{
    const std::unique_ptr<QSettings> settings = openGeometryStore();
    const int pixels[] = {x(), y(), width(), height()};
    for (int i = 0; i < 4; ++i)
        settings->setValue(QString::fromLatin1(geometryKeys[i].name),
                           QString::number(Twips::fromPixels(pixels[i])));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!isMinimized())
        storeGeometryInSettings();
    event->accept();
}

void MainWindow::clearPeriodFields()
{
    for (StationPanel &panel : m_area.panels)
        panel.stopTime->clear();
    for (StationPanel &panel : m_area.panels)
        panel.duration->clear();
    for (StationPanel &panel : m_area.panels)
        panel.fee->clear();
}

void MainWindow::showCompanyName()
{
    setWindowTitle(m_config.companyName);
}

void MainWindow::setStatisticsVisible(bool visible)
{
    for (QWidget *control : statistics().controls)
        control->setVisible(visible);
    m_exportAction->setVisible(visible);
}

void MainWindow::exportExcel()
{
    if (m_desk && !m_desk->allows(OnDuty::ExportRecords))
        return;
    const ExcelExport exporter(
        m_programDir,
        [this](int station) { return m_database->statistics().exportStation(station); },
        stationCount());
    for (const ExcelExport::Notice &notice : exporter.exportExcel())
        MessageDialog::show(this,
                            {notice.title, notice.text,
                             notice.kind == ExcelExport::Notice::Failed ? QMessageBox::Warning
                                                                        : QMessageBox::NoIcon});
}

void MainWindow::openWorkbook()
{
    const QString chosen = QFileDialog::getOpenFileName(
        this, QStringLiteral("Öffnen"), m_programDir, QStringLiteral("Alle Dateien (*.xls)"));
    if (!chosen.isEmpty())
        WorkbookViewer::open(chosen, this);
}

void MainWindow::bringToFront()
{
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}
