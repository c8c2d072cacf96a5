#pragma once

#include "ClockTimer.h"

#include <QObject>

// Whether the lock's cover is to lie over the screens: with the lock on, whenever
// no period runs, from start-up on. A period's start uncovers them at once; its end
// covers them a moment later, so that a period the console hands back right after
// (to a station that connected again while its period was open there) does not
// flash the cover. The link plays no part: a period whose link was lost runs on
// uncovered until it ends.
class CoverState : public QObject
{
    Q_OBJECT

public:
    // How long after a period's end the cover comes back.
    static constexpr qint64 coverDelayMs = 500;

    explicit CoverState(bool lockActive, QObject *parent = nullptr);

    bool covered() const { return m_covered; }
    void setPeriodRunning(bool running);

signals:
    void coveredChanged(bool covered);

private:
    void setCovered(bool covered);

    const bool m_lockActive;
    bool m_covered;
    ClockTimer m_coverTimer;
};
