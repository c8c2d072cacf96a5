#include "CafeOverview.h"

#include "Clock.h"
#include "StationSession.h"
#include "TextFormats.h"
#include "UsageStatistics.h"

CafeOverview::CafeOverview(UsageStatistics &statistics, int stations, QObject *parent)
    : QObject(parent)
    , m_statistics(statistics)
    , m_stations(stations)
{
}

void CafeOverview::watch(const StationSession &session)
{
    m_sessions.append(&session);
    // Counted once the start or stop is done: the session tells of it on the way.
    connect(&session, &StationSession::periodStarted, this, &CafeOverview::refresh,
            Qt::QueuedConnection);
    connect(&session, &StationSession::stopEnabledChanged, this, &CafeOverview::refresh,
            Qt::QueuedConnection);
    connect(&session, &StationSession::totalsChanged, this, &CafeOverview::refresh);
}

void CafeOverview::refresh()
{
    const QDate today = Clock::current().now().date();
    qint64 takings = 0;
    for (int station = 1; station <= m_stations; ++station)
        takings += m_statistics.sumDayFees(station, today).value_or(0);
    const auto running = std::count_if(m_sessions.cbegin(), m_sessions.cend(),
                                       [](const StationSession *s) { return s->periodRunning(); });
    const QString text = lineFor(takings, int(running));
    if (text == m_text)
        return;
    m_text = text;
    emit textChanged(m_text);
}

QString CafeOverview::lineFor(qint64 feeUnits, int running)
{
    const QString periods = running == 0 ? QStringLiteral("keine Nutzung läuft")
        : running == 1                   ? QStringLiteral("1 Nutzung läuft")
                                         : QStringLiteral("%1 Nutzungen laufen").arg(running);
    return QStringLiteral("Heute ") + TextFormats::money(feeUnits)
        + QStringLiteral(" eingenommen, ") + periods;
}
