#include "TariffHistory.h"

#include "Clock.h"
#include "SqlRun.h"
#include "SqlStatement.h"
#include "TextFormats.h"

using SqlRun::unlessDone;

TariffHistory::TariffHistory(const SqlConnection &db)
    : m_db(db)
{
}

QString TariffHistory::tableStatements()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS Tarife (Nummer INTEGER PRIMARY KEY,"
                          " Ab TEXT NOT NULL, Einheit TEXT, Ueber30 TEXT, Ueber60 TEXT,"
                          " Deckeln INTEGER, Bediener TEXT);");
}

Failure TariffHistory::note(const Tariffs &tariffs, const QString &operatorName)
{
    const QList<TariffPeriod> last = inForce(Clock::current().now(), Clock::current().now());
    if (!last.isEmpty()) {
        const Tariffs &was = last.constLast().tariffs;
        if (was.base == tariffs.base && was.over30 == tariffs.over30 && was.over60 == tariffs.over60
            && was.capByLongerPeriods == tariffs.capByLongerPeriods)
            return Failure::none();
    }
    SqlStatement insert(m_db.get(),
                        QStringLiteral("INSERT INTO Tarife (Ab, Einheit, Ueber30, Ueber60, Deckeln,"
                                       " Bediener) VALUES (?1, ?2, ?3, ?4, ?5, ?6)"));
    return unlessDone(insert.bind(1, TextFormats::moment(Clock::current().now()))
                          && insert.bind(2, tariffs.base) && insert.bind(3, tariffs.over30)
                          && insert.bind(4, tariffs.over60)
                          && insert.bind(5, qint64(tariffs.capByLongerPeriods))
                          && insert.bind(6, operatorName) && insert.run(),
                      insert);
}

QList<TariffPeriod> TariffHistory::inForce(const QDateTime &from, const QDateTime &to) const
{
    SqlStatement query(
        m_db.get(),
        QStringLiteral("SELECT Ab, Einheit, Ueber30, Ueber60, Deckeln, Bediener FROM Tarife"
                       " WHERE Nummer >= ifnull((SELECT max(Nummer) FROM Tarife"
                       " WHERE substr(Ab, 1, 19) <= ?1), 0) AND substr(Ab, 1, 19) < ?2"
                       " ORDER BY Nummer"));
    if (!query.bind(1, TextFormats::moment(from).left(19))
        || !query.bind(2, TextFormats::moment(to.addSecs(1)).left(19)))
        return {};
    return read(query);
}

QList<TariffPeriod> TariffHistory::all() const
{
    SqlStatement query(m_db.get(),
                       QStringLiteral("SELECT Ab, Einheit, Ueber30, Ueber60, Deckeln, Bediener"
                                      " FROM Tarife ORDER BY Nummer"));
    return read(query);
}

QList<TariffPeriod> TariffHistory::read(SqlStatement &query)
{
    QList<TariffPeriod> periods;
    while (query.next())
        periods.append({QDateTime::fromString(query.text(0).value_or(QString()), Qt::ISODate),
                        {query.text(1).value_or(QString()), query.text(2).value_or(QString()),
                         query.text(3).value_or(QString()), query.integer(4).value_or(0) != 0},
                        query.text(5).value_or(QString())});
    return periods;
}
