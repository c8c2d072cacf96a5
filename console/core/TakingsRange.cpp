#include "TakingsRange.h"

#include "Billing.h"
#include "SqlRun.h"
#include "SqlStatement.h"

#include <numeric>

using SqlRun::forStation;
using SqlRun::unlessDone;

namespace {
// The stops of a day are the texts from its date on up to its date followed by '~',
// which sorts after every time that may follow the date.
QString dayStart(const QDate &day)
{
    return day.toString(Qt::ISODate);
}

QString dayEnd(const QDate &day)
{
    return day.toString(Qt::ISODate) + QLatin1Char('~');
}

// Seconds of a duration text hh:nn:ss, where a period of 100 hours or more has more
// digits of hours; 0 for other text.
qint64 durationSeconds(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 3)
        return 0;
    return parts[0].toLongLong() * 3600 + parts[1].toLongLong() * 60 + parts[2].toLongLong();
}

QString recordsOfStation(int station)
{
    return forStation("SELECT %1, client%1nummer, client%1von, client%1bis, client%1dauer,"
                      " client%1kosten, client%1bediener, client%1herkunft, client%1pause"
                      " FROM client%1"
                      " WHERE client%1bis >= ?1 AND client%1bis < ?2",
                      station);
}
}

qint64 DailyTakings::amount(qsizetype index, int station) const
{
    const QList<qint64> &stations = perDay[index];
    if (station > 0)
        return stations.value(station - 1);
    return std::accumulate(stations.cbegin(), stations.cend(), qint64(0));
}

qint64 DailyTakings::total(int station) const
{
    qint64 sum = 0;
    for (qsizetype index = 0; index < dayCount(); ++index)
        sum += amount(index, station);
    return sum;
}

QList<double> DailyTakings::euros(int station) const
{
    QList<double> values;
    values.reserve(dayCount());
    for (qsizetype index = 0; index < dayCount(); ++index)
        values.append(double(amount(index, station)) / 10000.0);
    return values;
}

TakingsRange::TakingsRange(const SqlConnection &db, const int &stations)
    : m_db(db)
    , m_stations(stations)
{
}

QDate TakingsRange::monthStart(const QDate &day)
{
    return QDate(day.year(), day.month(), 1);
}

QDate TakingsRange::monthEnd(const QDate &day)
{
    return QDate(day.year(), day.month(), day.daysInMonth());
}

Result<DailyTakings> TakingsRange::takings(const QDate &first, const QDate &last) const
{
    DailyTakings takings;
    takings.first = first;
    takings.last = last;
    const qint64 days = first.daysTo(last) + 1;
    takings.perDay = QList<QList<qint64>>(qMax(days, qint64(0)), QList<qint64>(m_stations, 0));
    for (int station = 1; station <= m_stations; ++station) {
        if (Failure failure = addStation(station, takings))
            return failure;
    }
    const Result<qint64> undated = countUndated();
    if (!undated.hasValue())
        return undated.failure();
    takings.undatedRecords = undated.value();
    return takings;
}

// The station's sums of the days of the range, a row a day that had takings; a day
// whose sum the triggers could not keep (a fee typed as euros by hand) is added up
// from its records. A sum under a name that is no day of the range stays out, as
// its records would.
Failure TakingsRange::addStation(int station, DailyTakings &takings) const
{
    SqlStatement sums(
        m_db.get(),
        QStringLiteral("SELECT Tag, Summe, Unsicher = 0 AND typeof(Summe) = 'integer'"
                       " FROM Tagessummen WHERE Station = ?1 AND Tag BETWEEN ?2 AND ?3"));
    if (!sums.bind(1, qint64(station)) || !sums.bind(2, dayStart(takings.first))
        || !sums.bind(3, dayStart(takings.last)))
        return unlessDone(false, sums);
    SqlStatement records(m_db.get(),
                         forStation("SELECT SUM(money(client%1kosten)) FROM client%1"
                                    " WHERE client%1bis >= ?1 AND client%1bis < ?2",
                                    station));
    while (sums.next()) {
        const QString name = sums.text(0).value_or(QString());
        const QDate day = QDate::fromString(name, Qt::ISODate);
        const qint64 index = takings.first.daysTo(day);
        if (!day.isValid() || dayStart(day) != name || index < 0 || index >= takings.dayCount())
            continue;
        if (sums.integer(2).value_or(0)) {
            takings.perDay[index][station - 1] = sums.integer(1).value_or(0);
            continue;
        }
        if (!records.rewind() || !records.bind(1, dayStart(day)) || !records.bind(2, dayEnd(day))
            || !records.next())
            return unlessDone(false, records);
        takings.perDay[index][station - 1] = records.integer(0).value_or(0);
    }
    return unlessDone(sums.reachedEnd(), sums);
}

Result<qint64> TakingsRange::countUndated() const
{
    qint64 count = 0;
    for (int station = 1; station <= m_stations; ++station) {
        SqlStatement query(
            m_db.get(),
            forStation("SELECT count(*) FROM client%1 WHERE client%1bis IS NULL", station));
        if (!query.next())
            return unlessDone(false, query);
        count += query.integer(0).value_or(0);
    }
    return count;
}

Result<QList<TakingsRecord>> TakingsRange::records(const QDate &first, const QDate &last) const
{
    QStringList selects;
    for (int station = 1; station <= m_stations; ++station)
        selects.append(recordsOfStation(station));
    SqlStatement query(
        m_db.get(), selects.join(QStringLiteral(" UNION ALL ")) + QStringLiteral(" ORDER BY 4, 1"));
    if (!query.bind(1, dayStart(first)) || !query.bind(2, dayEnd(last)))
        return unlessDone(false, query);
    QList<TakingsRecord> records;
    while (query.next()) {
        TakingsRecord record;
        record.station = int(query.integer(0).value_or(0));
        record.number = query.integer(1).value_or(0);
        record.begin = QDateTime::fromString(query.text(2).value_or(QString()), Qt::ISODate);
        record.end = QDateTime::fromString(query.text(3).value_or(QString()), Qt::ISODate);
        record.duration = query.text(4).value_or(QString());
        record.minutes = Billing::wholeMinutes(durationSeconds(record.duration));
        record.feeUnits = query.money(5).value_or(0);
        record.operatorName = query.text(6).value_or(QString());
        record.originStation = int(query.integer(7).value_or(0));
        record.pausedSeconds = query.integer(8).value_or(0);
        records.append(record);
    }
    if (const Failure failure = unlessDone(query.reachedEnd(), query))
        return failure;
    return records;
}
