#include "SessionProbe.h"

SessionProbe::SessionProbe(StationSession &session)
    : QObject(&session)
{
    using S = StationSession;
    connect(&session, &S::headingChanged, this, [this](S::Heading shown) { heading = shown; });
    connect(&session, &S::runningTimeChanged, this,
            [this](const QString &text) { runningTime = text; });
    connect(&session, &S::feeTextChanged, this, [this](const QString &text) { fee = text; });
    connect(&session, &S::runningFeeChanged, this, [this](const QString &text) { fee = text; });
    connect(&session, &S::linkReportChanged, this,
            [this](const QString &text) { linkReport = text; });
    connect(&session, &S::notice, this, [this](const QString &text) { notice = text; });
    connect(&session, &S::noticeOver, this, [this](const QString &text) {
        if (notice == text)
            notice.clear();
    });
    // As on the panel, the station's controls include Start and Stop.
    connect(&session, &S::controlsEnabledChanged, this,
            [this](bool on) { controlsEnabled = startEnabled = stopEnabled = on; });
    connect(&session, &S::startEnabledChanged, this, [this](bool on) { startEnabled = on; });
    connect(&session, &S::stopEnabledChanged, this, [this](bool on) { stopEnabled = on; });
    connect(&session, &S::extendEnabledChanged, this, [this](bool on) { extendEnabled = on; });
    connect(&session, &S::intervalShown, this, [this](int minutes) { interval = minutes; });
    connect(&session, &S::startRequested, this, [this, &session] { session.start(interval); });
    connect(&session, &S::totalsChanged, this, [this](const UsageTotals &now) { totals = now; });
}
