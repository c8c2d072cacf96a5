#include "StationLock.h"

#include "StationDisplay.h"

#include <QGuiApplication>
#include <QScreen>

StationLock::StationLock(StationDisplay &display, QObject *parent)
    : QObject(parent)
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
            std::make_unique<LockCover>(texts, screen, screen == mainScreen));
        connect(cover.get(), &LockCover::connectRequested, &display, &StationDisplay::reconnect);
        connect(&display, &StationDisplay::canConnectChanged, cover.get(),
                [cover = cover.get()](bool canConnect) { cover->setConnected(!canConnect); });
        connect(&display, &StationDisplay::linkProblemChanged, cover.get(),
                &LockCover::setLinkProblem);
    }
    connect(display.cover(), &CoverState::coveredChanged, this, &StationLock::cover);
    connect(&display, &StationDisplay::endNoticeDue, &m_notice, &EndNotice::tell);
    cover(display.cover()->covered());
}

StationLock::~StationLock() = default;

bool StationLock::isCovering() const
{
    return !m_covers.empty() && m_covers.front()->isVisible();
}

void StationLock::cover(bool covered)
{
    for (const std::unique_ptr<LockCover> &screenCover : m_covers)
        screenCover->setVisible(covered);
}
