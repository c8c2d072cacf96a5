#include "UsageRecorder.h"

#include "Billing.h"
#include "Clock.h"
#include "RecordChain.h"
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
Failure countOn(sqlite3 *db)
{
    SqlStatement count(
        db, QStringLiteral("UPDATE Belegnummer SET Letzte = Letzte + 1 WHERE Zaehler = 1"));
    return unlessDone(count.run(), count);
}

// The record takes the next number of the database, counted in the same transaction.
// While the book is kept it carries a corrected start's real start and fee, and is
// sealed onto the chain.
Failure appendRecord(sqlite3 *db, const StoppedPeriod &stopped, qint64 feeUnits,
                     const QString &operatorName, RecordChain &chain)
{
    if (const Failure failure = countOn(db))
        return failure;
    const UsageRecord &record = stopped.record;
    const int station = stopped.period.station;
    const bool book = chain.isActive();
    SqlStatement insert(
        db,
        forStation(
            "INSERT INTO client%1 (client%1start, client%1ende, client%1dauer, client%1kosten,"
            " client%1datum, client%1von, client%1bis, client%1bediener, client%1nummer,"
            " client%1herkunft, client%1pause",
            station)
            + (book ? forStation(", client%1echtstart, client%1echtkosten", station) : QString())
            + QStringLiteral(") VALUES (?1, ?2, ?3, ?4, ?5, NULLIF(?6, ''), NULLIF(?7, ''), ?8,"
                             " (SELECT Letzte FROM Belegnummer WHERE Zaehler = 1),"
                             " NULLIF(?9, 0), NULLIF(?10, 0)")
            + (book
                   ? QStringLiteral(", NULLIF(?11, ''), CASE WHEN ?11 = '' THEN NULL ELSE ?12 END)")
                   : QStringLiteral(")")));
    const bool bound = insert.bind(1, record.start) && insert.bind(2, record.end)
        && insert.bind(3, record.duration) && insert.bind(4, feeUnits)
        && insert.bind(5, qint64(stopped.month))
        && insert.bind(6, TextFormats::moment(stopped.startMoment))
        && insert.bind(7, TextFormats::moment(stopped.stopMoment)) && insert.bind(8, operatorName)
        && insert.bind(9, qint64(stopped.period.originStation))
        && insert.bind(10, stopped.period.pausedSeconds)
        && (!book
            || (insert.bind(11,
                            stopped.correction ? TextFormats::moment(stopped.correction->realStart)
                                               : QString())
                && insert.bind(12, stopped.correction ? stopped.correction->realFeeUnits : 0)));
    if (!bound || !insert.run())
        return Failure(insert.failure());
    return chain.sealRecord(station, sqlite3_last_insert_rowid(db));
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
                             OpenPeriodStore &periods, UsageStatistics &statistics,
                             RecordChain &chain)
    : m_db(db)
    , m_stations(stations)
    , m_soundness(soundness)
    , m_schema(schema)
    , m_periods(periods)
    , m_statistics(statistics)
    , m_chain(chain)
    , m_operator(systemUser())
{
}

Result<RecordedPeriod> UsageRecorder::recordPeriod(const StoppedPeriod &stopped, bool keepMarker)
{
    const std::optional<qint64> fee = TextFormats::parseMoney(stopped.record.fee);
    if (!fee)
        return Failure(QStringLiteral("Der Betrag %1 ist nicht lesbar.").arg(stopped.record.fee));
    if (const Failure moved = stillInPlace())
        return moved;
    if (const Failure failure = m_schema.prepareUnserved(stopped.period.station))
        return failure;
    if (const Failure failure
        = m_chain.isActive() ? m_chain.prepare(stopped.period.station) : Failure::none())
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
    if (const Failure failure = appendRecord(db, stopped, *fee, m_operator, m_chain))
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

Failure UsageRecorder::voidRecord(int station, qint64 number, const QString &reason)
{
    if (!m_chain.isActive())
        return Failure(QStringLiteral("Stornieren setzt einen Inhaber voraus (Werkzeuge, Betreiber"
                                      " und Rechte)."));
    if (reason.trimmed().isEmpty())
        return Failure(QStringLiteral("Bitte einen Grund für das Storno angeben."));
    if (const Failure failure = stillInPlace())
        return failure;
    sqlite3 *db = m_db.get();
    SqlTransaction transaction(db);
    if (!transaction.isOpen())
        return Failure(transaction.failure());
    SqlStatement original(
        db,
        forStation("SELECT client%1start, client%1ende, client%1dauer, money(client%1kosten),"
                   " client%1von, client%1storno,"
                   " (SELECT count(*) FROM client%1 WHERE client%1storno = ?1)"
                   " FROM client%1 WHERE client%1nummer = ?1",
                   station));
    if (!original.bind(1, number) || !original.next())
        return Failure(original.failure().isEmpty()
                           ? QStringLiteral("Station %1 hat keinen Beleg Nr. %2.")
                                 .arg(QString::number(station), QString::number(number))
                           : original.failure());
    if (!original.isNull(5))
        return Failure(QStringLiteral("Beleg Nr. %1 ist selbst ein Storno.").arg(number));
    if (original.integer(6).value_or(0) > 0)
        return Failure(QStringLiteral("Beleg Nr. %1 ist schon storniert.").arg(number));
    const QString duration = original.text(2).value_or(QString());
    const qint64 fee = original.integer(3).value_or(0);
    const qint64 minutes = Billing::wholeMinutes(Billing::durationSeconds(duration));
    const QDateTime now = Clock::current().now();
    if (const Failure failure = countOn(db))
        return failure;
    SqlStatement insert(
        db,
        forStation("INSERT INTO client%1 (client%1start, client%1ende, client%1dauer,"
                   " client%1kosten, client%1datum, client%1von, client%1bis,"
                   " client%1bediener, client%1nummer, client%1storno, client%1grund)"
                   " VALUES (?1, ?2, ?3, ?4, ?5, NULLIF(?6, ''), ?7, ?8,"
                   " (SELECT Letzte FROM Belegnummer WHERE Zaehler = 1), ?9, ?10)",
                   station));
    const bool written = insert.bind(1, original.text(0).value_or(QString()))
        && insert.bind(2, original.text(1).value_or(QString()))
        && insert.bind(3, QLatin1Char('-') + duration) && insert.bind(4, -fee)
        && insert.bind(5, qint64(now.date().month()))
        && insert.bind(6, original.text(4).value_or(QString()))
        && insert.bind(7, TextFormats::moment(now)) && insert.bind(8, m_operator)
        && insert.bind(9, number) && insert.bind(10, reason.trimmed()) && insert.run();
    if (!written)
        return Failure(insert.failure());
    const Failure failure = Failure::ofFirst({
        [&] { return m_chain.sealRecord(station, sqlite3_last_insert_rowid(db)); },
        [&] { return addToTotals(db, station, -minutes, -fee).failure(); },
    });
    if (failure)
        return failure;
    if (!transaction.commit())
        return Failure(transaction.failure());
    m_statistics.addFee(station, -fee);
    return Failure::none();
}
