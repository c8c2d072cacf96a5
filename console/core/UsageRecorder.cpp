#include "UsageRecorder.h"

#include "Billing.h"
#include "SqlRun.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"
#include "TextFormats.h"
#include "UsageSchema.h"
#include "UsageStatistics.h"

#include <QtNumeric>

#include <pwd.h>
#include <unistd.h>

#include <sqlite3.h>

using SqlRun::forStation;
using SqlRun::singleValue;
using SqlRun::unlessDone;

namespace {
// The record takes the next number of the database, counted in the same transaction.
Failure appendRecord(sqlite3 *db, const StoppedPeriod &stopped, qint64 feeUnits,
                     const QString &operatorName)
{
    SqlStatement count(
        db, QStringLiteral("UPDATE Belegnummer SET Letzte = Letzte + 1 WHERE Zaehler = 1"));
    if (!count.run())
        return Failure(count.failure());
    const UsageRecord &record = stopped.record;
    SqlStatement insert(
        db,
        forStation(
            "INSERT INTO client%1 (client%1start, client%1ende, client%1dauer, client%1kosten,"
            " client%1datum, client%1von, client%1bis, client%1bediener, client%1nummer,"
            " client%1herkunft, client%1pause)"
            " VALUES (?1, ?2, ?3, ?4, ?5, NULLIF(?6, ''), NULLIF(?7, ''), ?8,"
            " (SELECT Letzte FROM Belegnummer WHERE Zaehler = 1), NULLIF(?9, 0), NULLIF(?10, 0))",
            stopped.period.station));
    return unlessDone(insert.bind(1, record.start) && insert.bind(2, record.end)
                          && insert.bind(3, record.duration) && insert.bind(4, feeUnits)
                          && insert.bind(5, qint64(stopped.month))
                          && insert.bind(6, TextFormats::moment(stopped.startMoment))
                          && insert.bind(7, TextFormats::moment(stopped.stopMoment))
                          && insert.bind(8, operatorName)
                          && insert.bind(9, qint64(stopped.period.originStation))
                          && insert.bind(10, stopped.period.pausedSeconds) && insert.run(),
                      insert);
}

// The system user running the console.
QString systemUser()
{
    if (const passwd *user = getpwuid(geteuid()))
        return QString::fromLocal8Bit(user->pw_name);
    return qEnvironmentVariable("USER");
}

// The station's totals with a record added. A missing totals row, a total of fees
// that reads as no amount (`totalsUnreadable`) or a total that would overflow leaves
// the totals as they are and keeps the record.
Result<RecordedPeriod> addToTotals(sqlite3 *db, int station, qint64 minutes, qint64 feeUnits)
{
    RecordedPeriod recorded;
    SqlStatement read(
        db, forStation("SELECT rowid, Nutzungszeit, Entgeld FROM client%1stat LIMIT 1", station));
    if (!read.next()) {
        if (const Failure failure = unlessDone(read.reachedEnd(), read))
            return failure;
        return recorded;
    }
    // Empty fields count as zero; a total typed by hand that is no amount is never overwritten.
    const std::optional<qint64> storedFees = read.money(2);
    recorded.totalsUnreadable
        = !storedFees && !read.isNull(2) && !read.text(2).value_or(QString()).isEmpty();
    UsageTotals totals;
    if (recorded.totalsUnreadable
        || qAddOverflow(read.integer(1).value_or(0), minutes, &totals.minutes)
        || qAddOverflow(storedFees.value_or(0), feeUnits, &totals.feeUnits))
        return recorded;

    SqlStatement write(
        db,
        forStation("UPDATE client%1stat SET Nutzungszeit = ?1, Entgeld = ?2 WHERE rowid = ?3",
                   station));
    if (!write.bind(1, totals.minutes) || !write.bind(2, totals.feeUnits)
        || !write.bind(3, *read.integer(0)) || !write.run())
        return Failure(write.failure());
    recorded.totals = totals;
    return recorded;
}
}

UsageRecorder::UsageRecorder(const SqlConnection &db, const int &stations,
                             const DatabaseSoundness &soundness, UsageSchema &schema,
                             OpenPeriodStore &periods, UsageStatistics &statistics)
    : m_db(db)
    , m_stations(stations)
    , m_soundness(soundness)
    , m_schema(schema)
    , m_periods(periods)
    , m_statistics(statistics)
    , m_operator(systemUser())
{
}

Result<RecordedPeriod> UsageRecorder::recordPeriod(const StoppedPeriod &stopped, bool keepMarker)
{
    const std::optional<qint64> fee = TextFormats::parseMoney(stopped.record.fee);
    if (!fee)
        return Failure(QStringLiteral("Der Betrag %1 ist nicht lesbar.").arg(stopped.record.fee));
    if (Failure moved = stillInPlace())
        return moved;
    if (Failure failure = m_schema.prepareUnserved(stopped.period.station))
        return failure;
    sqlite3 *db = m_db.get();
    SqlTransaction transaction(db);
    if (!transaction.isOpen())
        return Failure(transaction.failure());
    const Result<bool> earlier = m_periods.wasRecorded(stopped.period.id);
    if (earlier.valueOr(false))
        return RecordedPeriod{true, std::nullopt, false};
    if (Failure failure = earlier.failure())
        return failure;
    const int station = stopped.period.station;
    if (Failure failure = appendRecord(db, stopped, *fee, m_operator))
        return failure;
    const Result<RecordedPeriod> recorded
        = addToTotals(db, station, Billing::wholeMinutes(stopped.durationSeconds), *fee);
    if (!recorded.hasValue())
        return recorded;
    if (Failure failure = m_periods.closePeriod(stopped.period, keepMarker))
        return failure;
    if (!transaction.commit())
        return Failure(transaction.failure());
    m_statistics.addFee(station, *fee);
    return recorded;
}

std::optional<qint64> UsageRecorder::readTotalMinutes(int station)
{
    return singleValue(m_db.get(),
                       forStation("SELECT Nutzungszeit FROM client%1stat LIMIT 1", station));
}

std::optional<qint64> UsageRecorder::readTotalFees(int station)
{
    return singleValue(m_db.get(),
                       forStation("SELECT money(Entgeld) FROM client%1stat LIMIT 1", station));
}

QList<int> UsageRecorder::stationsWithUnreadableTotals()
{
    QList<int> unreadable;
    for (int station = 1; station <= m_stations; ++station) {
        SqlStatement read(m_db.get(),
                          forStation("SELECT Entgeld FROM client%1stat LIMIT 1", station));
        if (read.next() && !read.isNull(0) && !read.money(0)
            && !read.text(0).value_or(QString()).isEmpty())
            unreadable.append(station);
    }
    return unreadable;
}

QList<int> UsageRecorder::stationsWithoutTotals()
{
    QList<int> missing;
    for (int station = 1; station <= m_stations; ++station) {
        SqlStatement count(m_db.get(), forStation("SELECT count(*) FROM client%1stat", station));
        if (count.next() && count.integer(0) == 0)
            missing.append(station);
    }
    return missing;
}
