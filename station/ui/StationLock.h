#pragma once

#include "EndNotice.h"
#include "LockCover.h"

#include <QObject>

#include <memory>
#include <vector>

class StationDisplay;

// The lock at the station's window, where Client.ini switches it on: a cover over
// every screen while the display says so, and the notices before a timed period
// ends. The cover's "Verbinden" connects as the window's does.
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

    std::vector<std::unique_ptr<LockCover>> m_covers;
    EndNotice m_notice;
};
