#include "DayRecords.h"

#include "SqlRun.h"
#include "SqlStatement.h"
#include "TextFormats.h"

#include <QSet>

using SqlRun::forStation;

namespace {
QString wallClock(const QDate &day)
{
    return TextFormats::moment(QDateTime(day, QTime(0, 0))).left(19);
}
}

DayRecords::DayRecords(const SqlConnection &db, const int &stations)
    : m_db(db)
    , m_stations(stations)
{
}

Result<QList<DayRecord>> DayRecords::of(int station, const QDate &day) const
{
    if (station < 1 || station > m_stations)
        return Failure(QStringLiteral("Station %1 gibt es nicht.").arg(station));
    // A void is written after the record it takes back, so it stops that day or later.
    SqlStatement voids(m_db.get(),
                       forStation("SELECT client%1storno FROM client%1 WHERE client%1bis >= ?1"
                                  " AND client%1storno IS NOT NULL",
                                  station));
    if (!voids.bind(1, wallClock(day)))
        return Failure(voids.failure());
    QSet<qint64> voided;
    while (voids.next())
        voided.insert(voids.integer(0).value_or(0));
    if (!voids.reachedEnd())
        return Failure(voids.failure());
    SqlStatement query(
        m_db.get(),
        forStation("SELECT client%1nummer, client%1start, client%1ende, money(client%1kosten),"
                   " client%1bediener, client%1storno FROM client%1"
                   " WHERE client%1bis >= ?1 AND client%1bis < ?2"
                   " ORDER BY client%1bis, client%1nummer, rowid",
                   station));
    if (!query.bind(1, wallClock(day)) || !query.bind(2, wallClock(day.addDays(1))))
        return Failure(query.failure());
    QList<DayRecord> records;
    while (query.next()) {
        DayRecord record{query.integer(0).value_or(0),      query.text(1).value_or(QString()),
                         query.text(2).value_or(QString()), query.integer(3).value_or(0),
                         query.text(4).value_or(QString()), DayRecord::Open};
        if (!query.isNull(5))
            record.state = DayRecord::CounterRecord;
        else if (voided.contains(record.number))
            record.state = DayRecord::Voided;
        records.append(record);
    }
    if (!query.reachedEnd())
        return Failure(query.failure());
    return records;
}
