#pragma once

#include "EndNotice.h"
#include "LockCover.h"
#include "X11Hold.h"

#include <QObject>

#include <memory>
#include <vector>

class CoverGuard;
class StationDisplay;

// The lock at the station's window, where Client.ini switches it on: a cover over
// every screen while the display says so, and the notices before a timed period
// ends. The cover's "Verbinden" connects as the window's does. The display's guard
// has the covers take the screen over again whenever they lost it.
class StationLock : public QObject
{
    Q_OBJECT

public:
    StationLock(StationDisplay &display, QObject *parent = nullptr);
    ~StationLock() override;

    bool isCovering() const;
    const std::vector<std::unique_ptr<LockCover>> &covers() const { return m_covers; }

private:
    void cover(bool covered);
    void holdScreens();

    CoverGuard *const m_guard;
    std::unique_ptr<X11Hold> m_hold;
    std::vector<std::unique_ptr<LockCover>> m_covers;
    EndNotice m_notice;
};
