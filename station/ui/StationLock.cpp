#include "StationLock.h"

#include "StationDisplay.h"

#include <QDebug>
#include <QGuiApplication>
#include <QScreen>

StationLock::StationLock(StationDisplay &display, QObject *parent)
    : QObject(parent)
    , m_guard(display.guard())
    , m_hold(X11Hold::ofThisDisplay())
{
    const StationSettings &settings = display.settings();
    const LockCover::Texts texts{settings.lockText(),
                                 QStringLiteral("Station %1").arg(display.station()),
                                 settings.company()};
    // The cover on the main screen holds keyboard and mouse; one grab is all the
    // window system allows.
    QScreen *mainScreen = QGuiApplication::primaryScreen();
    for (QScreen *screen : QGuiApplication::screens()) {
        auto &cover = m_covers.emplace_back(
            std::make_unique<LockCover>(texts, screen, screen == mainScreen, m_hold.get()));
        connect(cover.get(), &LockCover::connectRequested, &display, &StationDisplay::reconnect);
        connect(&display, &StationDisplay::canConnectChanged, cover.get(),
                [cover = cover.get()](bool canConnect) { cover->setConnected(!canConnect); });
        connect(&display, &StationDisplay::linkProblemChanged, cover.get(),
                &LockCover::setLinkProblem);
    }
    connect(display.cover(), &CoverState::coveredChanged, this, &StationLock::cover);
    connect(m_guard, &CoverGuard::holdDue, this, &StationLock::holdScreens);
    // Told from inside the window system's event handling, answered right after it.
    if (m_hold) {
        connect(m_hold.get(), &X11Hold::unmapped, m_guard, &CoverGuard::coverLost,
                Qt::QueuedConnection);
        connect(m_hold.get(), &X11Hold::obscured, m_guard, &CoverGuard::coverObscured,
                Qt::QueuedConnection);
    }
    connect(&display, &StationDisplay::endNoticeDue, &m_notice, &EndNotice::tell);
    connect(&display, &StationDisplay::lockProblem, this,
            [](const QString &text) { qWarning().noquote() << text; });
    cover(display.cover()->covered());
}

StationLock::~StationLock() = default;

bool StationLock::isCovering() const
{
    return !m_covers.empty() && m_covers.front()->isVisible();
}

// Every cover back on top; the one that holds the input tells the guard how its
// grab went.
void StationLock::holdScreens()
{
    for (const std::unique_ptr<LockCover> &screenCover : m_covers) {
        const X11Hold::Grab grab = screenCover->holdScreen();
        if (!screenCover->holdsInput())
            continue;
        switch (grab) {
        case X11Hold::Grab::Held:
            m_guard->grabTaken();
            break;
        case X11Hold::Grab::NotViewable:
            m_guard->coverLost();
            break;
        case X11Hold::Grab::Refused:
            m_guard->grabRefused();
            break;
        }
    }
}

void StationLock::cover(bool covered)
{
    for (const std::unique_ptr<LockCover> &screenCover : m_covers)
        screenCover->setVisible(covered);
}
