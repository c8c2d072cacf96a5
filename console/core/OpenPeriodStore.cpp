#include "OpenPeriodStore.h"

#include "SqlRun.h"
#include "SqlStatement.h"

#include <sqlite3.h>

using SqlRun::unlessDone;

namespace {
Failure writePeriodRow(sqlite3 *db, const OpenPeriod &period, bool recorded)
{
    SqlStatement write(
        db,
        QStringLiteral("INSERT OR REPLACE INTO Perioden (Periode, Station, Beginn, Startzeit,"
                       " Intervall, Abgerechnet, Herkunft, Pause, PauseSeit)"
                       " VALUES (?1, ?2, ?3, ?4, ?5, ?6, NULLIF(?7, 0), NULLIF(?8, 0),"
                       " NULLIF(?9, ''))"));
    return unlessDone(write.bind(1, period.id) && write.bind(2, qint64(period.station))
                          && write.bind(3, period.beginText()) && write.bind(4, period.startText)
                          && write.bind(5, qint64(period.intervalMinutes))
                          && write.bind(6, qint64(recorded ? 1 : 0))
                          && write.bind(7, qint64(period.originStation))
                          && write.bind(8, period.pausedSeconds)
                          && write.bind(9, period.pausedSinceText()) && write.run(),
                      write);
}

const QString openColumns = QStringLiteral(
    "SELECT Periode, Station, Beginn, Startzeit, Intervall, Herkunft, Pause, PauseSeit"
    " FROM Perioden");
}

OpenPeriodStore::OpenPeriodStore(const SqlConnection &db, const DatabaseSoundness &soundness)
    : m_db(db)
    , m_soundness(soundness)
{
}

Failure OpenPeriodStore::saveOpenPeriod(const OpenPeriod &period)
{
    if (Failure moved = stillInPlace())
        return moved;
    return writePeriodRow(m_db.get(), period, false);
}

Failure OpenPeriodStore::updateOpenPeriod(const OpenPeriod &period)
{
    if (Failure moved = stillInPlace())
        return moved;
    SqlStatement change(
        m_db.get(),
        QStringLiteral("UPDATE Perioden SET Station = ?2, Intervall = ?3, Herkunft = NULLIF(?4, 0),"
                       " Pause = NULLIF(?5, 0), PauseSeit = NULLIF(?6, '')"
                       " WHERE Periode = ?1 AND Abgerechnet = 0"));
    return unlessDone(change.bind(1, period.id) && change.bind(2, qint64(period.station))
                          && change.bind(3, qint64(period.intervalMinutes))
                          && change.bind(4, qint64(period.originStation))
                          && change.bind(5, period.pausedSeconds)
                          && change.bind(6, period.pausedSinceText()) && change.run(),
                      change);
}

QList<OpenPeriod> OpenPeriodStore::openPeriods()
{
    SqlStatement query(m_db.get(),
                       openColumns + QStringLiteral(" WHERE Abgerechnet = 0 ORDER BY Beginn"));
    QList<OpenPeriod> periods;
    while (query.next()) {
        OpenPeriod period{
            query.text(0).value_or(QString()),
            int(query.integer(1).value_or(0)),
            QDateTime::fromString(query.text(2).value_or(QString()), Qt::ISODateWithMs),
            query.text(3).value_or(QString()),
            int(query.integer(4).value_or(0)),
            int(query.integer(5).value_or(0)),
            query.integer(6).value_or(0),
            QDateTime::fromString(query.text(7).value_or(QString()), Qt::ISODateWithMs)};
        if (isStation(period.station) && period.begin.isValid())
            periods.append(period);
    }
    return periods;
}

QList<QStringList> OpenPeriodStore::unreadableOpenPeriods()
{
    SqlStatement query(
        m_db.get(),
        QStringLiteral("SELECT Periode, Station, Beginn, Startzeit, Intervall FROM Perioden"
                       " WHERE Abgerechnet IS NOT 1 ORDER BY rowid"));
    QList<QStringList> rows;
    while (query.next()) {
        QStringList row;
        for (int column = 0; column < 5; ++column)
            row.append(query.text(column).value_or(QString()));
        const int station = int(query.integer(1).value_or(0));
        const bool readable = query.integer(1) && isStation(station)
            && QDateTime::fromString(row[2], Qt::ISODateWithMs).isValid() && !row[0].isEmpty();
        if (!readable)
            rows.append(row);
    }
    return rows;
}

Failure OpenPeriodStore::removeUnreadableOpenPeriod(const QStringList &row)
{
    SqlStatement remove(
        m_db.get(),
        QStringLiteral("DELETE FROM Perioden WHERE Abgerechnet IS NOT 1"
                       " AND ifnull(Periode, '') = ?1 AND ifnull(CAST(Station AS TEXT), '') = ?2"
                       " AND ifnull(Beginn, '') = ?3"));
    return unlessDone(remove.bind(1, row.value(0)) && remove.bind(2, row.value(1))
                          && remove.bind(3, row.value(2)) && remove.run(),
                      remove);
}

Failure OpenPeriodStore::discardOpenPeriod(const QString &periodId)
{
    SqlStatement remove(
        m_db.get(), QStringLiteral("DELETE FROM Perioden WHERE Periode = ?1 AND Abgerechnet = 0"));
    return unlessDone(remove.bind(1, periodId) && remove.run(), remove);
}

QStringList OpenPeriodStore::recordedPeriods()
{
    SqlStatement query(m_db.get(),
                       QStringLiteral("SELECT Periode FROM Perioden WHERE Abgerechnet = 1"));
    QStringList ids;
    while (query.next())
        ids.append(query.text(0).value_or(QString()));
    return ids;
}

Failure OpenPeriodStore::forgetRecorded(const QString &periodId)
{
    SqlStatement forget(
        m_db.get(), QStringLiteral("DELETE FROM Perioden WHERE Periode = ?1 AND Abgerechnet = 1"));
    return unlessDone(forget.bind(1, periodId) && forget.run(), forget);
}

Result<bool> OpenPeriodStore::wasRecorded(const QString &periodId)
{
    SqlStatement query(m_db.get(),
                       QStringLiteral("SELECT Abgerechnet FROM Perioden WHERE Periode = ?1"));
    if (!query.bind(1, periodId))
        return Failure(query.failure());
    if (query.next())
        return query.integer(0) == 1;
    if (query.reachedEnd())
        return false;
    return Failure(query.failure());
}

Failure OpenPeriodStore::closePeriod(const OpenPeriod &period, bool keepMarker)
{
    if (keepMarker)
        return writePeriodRow(m_db.get(), period, true);
    SqlStatement close(m_db.get(), QStringLiteral("DELETE FROM Perioden WHERE Periode = ?1"));
    return unlessDone(close.bind(1, period.id) && close.run(), close);
}
