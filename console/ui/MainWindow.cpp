#include "MainWindow.h"

#include "AboutDialog.h"
#include "CafeOverview.h"
#include "Clock.h"
#include "ClosingWindow.h"
#include "ExcelExport.h"
#include "HelpContents.h"
#include "MessageDialog.h"
#include "OperatorDesk.h"
#include "OptionsDialog.h"
#include "ProgramEnd.h"
#include "SingleInstance.h"
#include "TakingsWindow.h"
#include "TextFormats.h"
#include "TimemasterWindow.h"
#include "Twips.h"
#include "UsageDatabase.h"
#include "WorkbookViewer.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
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
    , m_app(programDir)
{
    setObjectName(QStringLiteral("frmMain"));
    createMenus();
    createStatusBar();
    answerConsole();
}

// The views go before the sessions they show.
MainWindow::~MainWindow()
{
    delete takeCentralWidget();
}

void MainWindow::answerConsole()
{
    m_app.setFront({[this] { return signIn(); }, [this] { return showStations(); },
                    [this](const ConsoleApp::Question &question) {
                        MessageDialog::Request request{QStringLiteral("Kavo"), question.text,
                                                       QMessageBox::Question,
                                                       QMessageBox::Yes | QMessageBox::No};
                        if (!question.yesCaption.isEmpty())
                            request.captions = {{QMessageBox::Yes, question.yesCaption},
                                                {QMessageBox::No, question.noCaption}};
                        return MessageDialog::show(this, request) == QMessageBox::Yes;
                    }});
    connect(&m_app, &ConsoleApp::activationRequested, this, &MainWindow::bringToFront);
    connect(&m_app, &ConsoleApp::warning, this,
            [this](const QString &text) { tell(text, QMessageBox::Warning); });
    connect(&m_app, &ConsoleApp::information, this,
            [this](const QString &text) { tell(text, QMessageBox::Information); });
    connect(&m_app, &ConsoleApp::problem, this, &MainWindow::reportProblem);
    const auto showInStatusBar = [this](const QString &text) { statusBar()->showMessage(text); };
    connect(&m_app, &ConsoleApp::notice, statusBar(), showInStatusBar);
    connect(&m_app, &ConsoleApp::noticeOver, statusBar(), [this](const QString &text) {
        if (statusBar()->currentMessage() == text)
            statusBar()->clearMessage();
    });
}

void MainWindow::tell(const QString &text, QMessageBox::Icon icon)
{
    MessageDialog::show(this, {QStringLiteral("Kavo"), text, icon});
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
            OptionsDialog::showOrRaise(ConsoleConfig::iniPath(m_app.programDir()), this);
    });
    connect(takings, &QAction::triggered, this, [this] {
        TakingsWindow *window
            = TakingsWindow::showOrRaise(m_app.database().takings(), m_app.programDir(), this);
        window->setExportAllowed(
            [this] { return !m_desk || m_desk->allows(OnDuty::ExportRecords); });
    });
    connect(closing, &QAction::triggered, this, [this] {
        ClosingWindow::showOrRaise({m_app.database().closings(), m_app.database().recorder(),
                                    [this] { return m_app.runningFigures(); }},
                                   m_app.config().companyName, this);
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
    if (m_app.stationCount() > 0 && today != m_statusDate->text())
        m_app.overview().refresh();
    m_statusDate->setText(today);
    m_statusTime->setText(TextFormats::timeOfDay(now.time()));
}

Result<ConsoleApp::Started> MainWindow::start(SingleInstance &instance)
{
    const Result<ConsoleApp::Started> started = m_app.start(instance);
    if (!ConsoleApp::runs(started))
        return started;
    for (StationView *view : m_area.views)
        view->fillMonthList();
    setWindowTitle(m_app.config().companyName);
    setStatisticsVisible(m_app.config().showsStatistics());
    return started;
}

// A view for each station, bound to its session; then the window's place and
// size, whose fallback depends on the stations shown.
Failure MainWindow::showStations()
{
    m_area = StationArea::create(this, m_app);
    setCentralWidget(m_area.widget);
    connect(&m_app.overview(), &CafeOverview::textChanged, m_statusOverview, &QLabel::setText);
    if (Failure failure = restoreGeometryFromSettings())
        return failure;
    m_app.setOnDuty(m_desk->onDuty());
    m_desk->checkChainAtStart();
    return Failure::none();
}

// Who is on duty, where an owner set up operators; the tariffs in force are noted
// with him when they changed since.
Failure MainWindow::signIn()
{
    m_desk = new OperatorDesk(m_app.database(), *this);
    m_desk->addMenuItems(menuBar()->findChild<QMenu *>(QStringLiteral("mnuTools")));
    if (!m_desk->signInAtStart())
        return Failure(QStringLiteral("Niemand hat sich angemeldet; Kavo wird beendet."));
    connect(m_desk, &OperatorDesk::onDutyChanged, &m_app, &ConsoleApp::setOnDuty);
    if (m_app.database().roster().hasOwner())
        (void)m_app.database().tariffHistory().note(m_app.tariffs(), m_desk->onDuty().name);
    return Failure::none();
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

void MainWindow::setStatisticsVisible(bool visible)
{
    for (StationView *view : m_area.views)
        view->setStatisticsVisible(visible);
    m_exportAction->setVisible(visible);
}

void MainWindow::exportExcel()
{
    if (m_desk && !m_desk->allows(OnDuty::ExportRecords))
        return;
    const ExcelExport exporter(
        m_app.programDir(),
        [this](int station) { return m_app.database().statistics().exportStation(station); },
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
        this, QStringLiteral("Öffnen"), m_app.programDir(), QStringLiteral("Alle Dateien (*.xls)"));
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
