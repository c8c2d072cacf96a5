#pragma once

#include "StationSession.h"
#include "UsageRecorder.h"

#include <QObject>

// What a station's panel would show of its session, kept from the session's signals
// from the probe's making on: the tests of the session read it as they would the
// panel, without a window. As the panel does, it answers the station's start with a
// start of the interval chosen.
class SessionProbe : public QObject
{
    Q_OBJECT

public:
    explicit SessionProbe(StationSession &session);

    StationSession::Heading heading = StationSession::Heading::Idle;
    QString runningTime;
    // The running fee while a period runs, the bill's after it.
    QString fee;
    QString linkReport;
    // The session's notice that lasts now, as the status bar shows it.
    QString notice;
    // PC Info, Start, Stop and the intervals, as the session last switched them all.
    bool controlsEnabled = false;
    bool startEnabled = false;
    bool stopEnabled = false;
    bool extendEnabled = false;
    // The interval chosen, as the session last showed it or the test chose it.
    int interval = 0;
    // The station's totals as last written; none yet: all zero.
    UsageTotals totals;
};
