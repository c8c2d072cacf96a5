#include "Incidents.h"

#include "Clock.h"
#include "SqlRun.h"
#include "SqlStatement.h"
#include "TextFormats.h"

using SqlRun::unlessDone;

Incidents::Incidents(const SqlConnection &db)
    : m_db(db)
{
}

QString Incidents::tableStatements()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS Vorfaelle (Nummer INTEGER PRIMARY KEY,"
                          " Zeit TEXT NOT NULL, Text TEXT NOT NULL, Quittiert TEXT);");
}

Failure Incidents::note(const QString &text)
{
    if (const Failure failure = SqlRun::exec(m_db.get(), tableStatements()))
        return failure;
    SqlStatement insert(m_db.get(),
                        QStringLiteral("INSERT INTO Vorfaelle (Zeit, Text) VALUES (?1, ?2)"));
    return unlessDone(insert.bind(1, TextFormats::moment(Clock::current().now()))
                          && insert.bind(2, text) && insert.run(),
                      insert);
}

QList<Incident> Incidents::open() const
{
    return read(QStringLiteral("Quittiert IS NULL"), {});
}

QList<Incident> Incidents::since(const QDateTime &from) const
{
    return read(QStringLiteral("substr(Zeit, 1, 19) >= ?1"), TextFormats::moment(from).left(19));
}

QList<Incident> Incidents::read(const QString &condition, const QString &value) const
{
    QList<Incident> incidents;
    SqlStatement query(m_db.get(),
                       QStringLiteral("SELECT Nummer, Zeit, Text FROM Vorfaelle"
                                      " WHERE %1 ORDER BY Nummer")
                           .arg(condition));
    if (!value.isEmpty() && !query.bind(1, value))
        return incidents;
    while (query.next())
        incidents.append({int(query.integer(0).value_or(0)),
                          QDateTime::fromString(query.text(1).value_or(QString()), Qt::ISODate),
                          query.text(2).value_or(QString())});
    return incidents;
}

Failure Incidents::acknowledge(const QString &byWhom)
{
    SqlStatement update(m_db.get(),
                        QStringLiteral("UPDATE Vorfaelle SET Quittiert = ?1"
                                       " WHERE Quittiert IS NULL"));
    return unlessDone(
        update.bind(1, byWhom + QLatin1Char(' ') + TextFormats::moment(Clock::current().now()))
            && update.run(),
        update);
}
