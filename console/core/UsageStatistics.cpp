#include "UsageStatistics.h"

#include "Billing.h"
#include "SqlRun.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"

#include <QRegularExpression>
#include <QVariant>

#include <sqlite3.h>

using SqlRun::exec;
using SqlRun::forStation;
using SqlRun::singleValue;
using SqlRun::unlessDone;

namespace {
constexpr double unitsPerEuro = 10000.0;

// How the month list names the months of records written before records were dated.
const QString withoutYear = QStringLiteral(" (ohne Jahr)");

// The records of a month as the list names it: "03.2026" by their stop, "3 (ohne
// Jahr)" among the undated ones by their month number, which must read exactly as
// listed ("5" matches 5, "05" and "15" do not; the comparison as a number lets the
// index find the rows).
struct MonthChoice
{
    const char *condition;
    QStringList parameters;
};

std::optional<MonthChoice> monthChoice(const QString &text)
{
    static const QRegularExpression dated(QStringLiteral("^(\\d{2})\\.(\\d{4})$"));
    if (const QRegularExpressionMatch match = dated.match(text); match.hasMatch()) {
        const QString month = match.captured(2) + QLatin1Char('-') + match.captured(1);
        return MonthChoice{"client%1bis >= ?1 AND client%1bis < ?2",
                           {month, month + QLatin1Char('~')}};
    }
    if (!text.endsWith(withoutYear))
        return std::nullopt;
    return MonthChoice{"client%1bis IS NULL AND client%1datum = CAST(?1 AS INTEGER)"
                       " AND CAST(client%1datum AS TEXT) = ?1",
                       {text.chopped(withoutYear.size())}};
}

// Column names match without regard to case, as table names do.
qsizetype columnIndex(const QStringList &columns, const QString &name)
{
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool hasOneRow(sqlite3 *db, const QString &table)
{
    SqlStatement rows(db, QStringLiteral("SELECT count(*) FROM ") + table);
    return rows.next() && rows.integer(0) == 1;
}

// The sum goes into the station's result table in place, so that an unchanged sum
// leaves the file as it is; a table of another shape is made anew.
Failure keepFeeSum(sqlite3 *db, int station, std::optional<qint64> sum)
{
    const QString table = forStation("Entgeld%1", station);
    const QString value = sum ? QString::number(*sum) : QStringLiteral("NULL");
    if (hasOneRow(db, table)) {
        const Failure failure = exec(
            db, QStringLiteral("UPDATE %1 SET %1 = %2 WHERE %1 IS NOT %2").arg(table, value));
        if (!failure)
            return failure;
    }
    return exec(db,
                QStringLiteral("DROP TABLE IF EXISTS %1; CREATE TABLE %1 AS SELECT %2 AS %1")
                    .arg(table, value));
}
}

UsageStatistics::UsageStatistics(const SqlConnection &db, const int &stations,
                                 const DatabaseSoundness &soundness)
    : m_db(db)
    , m_stations(stations)
    , m_soundness(soundness)
{
}

void UsageStatistics::addFee(int station, qint64 feeUnits)
{
    if (const auto sum = m_allFees.find(station); sum != m_allFees.end())
        *sum = sum->value_or(0) + feeUnits;
}

// The sums as this run kept them are left in the result tables, where the next start
// finds them as long as the file stays as this close leaves it. Only when every
// station's sum is known and nobody else wrote to the file meanwhile, since the sums
// follow only this run's records. Gives the number of stations whose sums it left.
int UsageStatistics::keepFeeSums()
{
    if (m_allFees.size() != m_stations)
        return 0;
    SqlTransaction transaction(m_db.get());
    for (int station = 1; station <= m_stations; ++station) {
        if (keepFeeSum(m_db.get(), station, m_allFees.value(station)))
            return 0;
    }
    return transaction.commit() ? m_stations : 0;
}

std::optional<qint64> UsageStatistics::sumAllFees(int station)
{
    if (const auto known = m_allFees.constFind(station); known != m_allFees.cend())
        return *known;
    if (station > m_soundness.feeSumsVouchedFor() || readFeeSum(station)) {
        const Failure summed = replaceResultTable(
            forStation("Entgeld%1", station),
            forStation("SELECT SUM(money(client%1kosten)) AS Entgeld%1 FROM client%1", station));
        if (summed || readFeeSum(station))
            return std::nullopt;
    }
    return m_allFees.value(station);
}

// Remembers the sum the station's result table holds.
Failure UsageStatistics::readFeeSum(int station)
{
    SqlStatement query(m_db.get(), forStation("SELECT Entgeld%1 FROM Entgeld%1", station));
    if (!query.next())
        return unlessDone(false, query);
    m_allFees.insert(station, query.integer(0));
    return Failure::none();
}

// Old records, written before records were dated, are listed by their month number
// alone, ascending, before the months with their year, newest last. Each month is
// the least one above the month before, found in an index without a pass over the
// records.
QStringList UsageStatistics::listMonths(int station)
{
    QStringList months;
    SqlStatement undated(
        m_db.get(),
        forStation("WITH RECURSIVE months(month) AS (SELECT min(client%1datum) FROM client%1"
                   " WHERE client%1bis IS NULL"
                   " UNION ALL SELECT (SELECT min(client%1datum) FROM client%1"
                   " WHERE client%1bis IS NULL AND client%1datum > month) FROM months"
                   " WHERE month IS NOT NULL)"
                   " SELECT month FROM months WHERE month IS NOT NULL",
                   station));
    while (undated.next()) {
        if (const std::optional<QString> month = undated.text(0))
            months.append(*month + withoutYear);
    }
    SqlStatement dated(
        m_db.get(),
        forStation("WITH RECURSIVE months(month) AS (SELECT substr(min(client%1bis), 1, 7)"
                   " FROM client%1 WHERE client%1bis > ''"
                   " UNION ALL SELECT (SELECT substr(min(client%1bis), 1, 7) FROM client%1"
                   " WHERE client%1bis > month || '~') FROM months WHERE month IS NOT NULL)"
                   " SELECT month FROM months WHERE month IS NOT NULL",
                   station));
    static const QRegularExpression yearMonth(QStringLiteral("^(\\d{4})-(\\d{2})$"));
    while (dated.next()) {
        const QRegularExpressionMatch match = yearMonth.match(dated.text(0).value_or(QString()));
        if (match.hasMatch())
            months.append(match.captured(2) + QLatin1Char('.') + match.captured(1));
    }
    return months;
}

std::optional<qint64> UsageStatistics::sumMonthFees(int station, const QString &monthText)
{
    const std::optional<MonthChoice> month = monthChoice(monthText);
    if (!month)
        return std::nullopt;
    if (replaceResultTable(forStation("Monat%1", station),
                           forStation("SELECT SUM(money(client%1kosten)) AS Kosten%1 FROM client%1"
                                      " WHERE ",
                                      station)
                               + forStation(month->condition, station),
                           month->parameters))
        return std::nullopt;
    return singleValue(m_db.get(), forStation("SELECT Kosten%1 FROM Monat%1", station));
}

std::optional<qint64> UsageStatistics::sumDayFees(int station, const QDate &day)
{
    const QString first = day.toString(Qt::ISODate);
    SqlStatement query(m_db.get(),
                       forStation("SELECT SUM(money(client%1kosten)) FROM client%1"
                                  " WHERE client%1bis >= ?1 AND client%1bis < ?2",
                                  station));
    if (!query.bind(1, first) || !query.bind(2, first + QLatin1Char('~')) || !query.next())
        return std::nullopt;
    return query.integer(0);
}

std::optional<qint64> UsageStatistics::sumMonthMinutes(int station, const QString &monthText)
{
    const std::optional<MonthChoice> month = monthChoice(monthText);
    if (!month)
        return std::nullopt;
    // Durations are stored as hh:nn:ss texts; a period of 100 hours or more has more
    // digits of hours, a counter-record's starts with "-" and counts back.
    SqlStatement query(
        m_db.get(),
        forStation(
            "SELECT SUM((CASE WHEN client%1dauer LIKE '-%' THEN -1 ELSE 1 END)"
            " * (abs(CAST(substr(client%1dauer, 1, length(client%1dauer) - 6) AS INTEGER)) * 3600"
            " + CAST(substr(client%1dauer, -5, 2) AS INTEGER) * 60"
            " + CAST(substr(client%1dauer, -2, 2) AS INTEGER))) FROM client%1 WHERE ",
            station)
            + forStation(month->condition, station));
    for (qsizetype i = 0; i < month->parameters.size(); ++i) {
        if (!query.bind(int(i + 1), month->parameters[i]))
            return std::nullopt;
    }
    if (!query.next())
        return std::nullopt;
    const std::optional<qint64> seconds = query.integer(0);
    if (!seconds)
        return std::nullopt;
    return Billing::wholeMinutes(*seconds);
}

// A table that could not be made anew would hold another month's sum or an older
// one: the caller then knows no sum rather than reading it.
Failure UsageStatistics::replaceResultTable(const QString &table, const QString &select,
                                            const QStringList &parameters)
{
    SqlTransaction transaction(m_db.get());
    if (!transaction.isOpen())
        return Failure(transaction.failure());
    // A new file has no result table yet; then there is nothing to drop.
    static_cast<void>(exec(m_db.get(), QStringLiteral("DROP TABLE ") + table));
    SqlStatement make(m_db.get(), QStringLiteral("CREATE TABLE %1 AS %2").arg(table, select));
    for (qsizetype i = 0; i < parameters.size(); ++i) {
        if (!make.bind(int(i + 1), parameters[i]))
            return Failure(make.failure());
    }
    if (!make.run())
        return Failure(make.failure());
    return transaction.commit() ? Failure::none() : Failure(transaction.failure());
}

std::optional<XlsSheetData> UsageStatistics::exportStation(int station)
{
    SqlStatement query(m_db.get(), forStation("SELECT * FROM client%1 ORDER BY rowid", station));
    if (!query.isValid())
        return std::nullopt;
    XlsSheetData table;
    for (int column = 0; column < query.columnCount(); ++column)
        table.fieldNames.append(query.columnName(column));
    const qsizetype feeColumn
        = columnIndex(table.fieldNames, forStation("client%1kosten", station));
    while (query.next()) {
        QVariantList row;
        for (int column = 0; column < query.columnCount(); ++column)
            row.append(query.value(column));
        if (feeColumn >= 0 && !row[feeColumn].isNull()) {
            const std::optional<qint64> units = query.money(int(feeColumn));
            row[feeColumn] = units ? QVariant(double(*units) / unitsPerEuro) : QVariant();
        }
        table.rows.append(row);
    }
    if (!query.reachedEnd())
        return std::nullopt;
    return table;
}
