#include "OperatorRoster.h"

#include "Clock.h"
#include "SqlRun.h"
#include "SqlStatement.h"
#include "TextFormats.h"

#include <QRegularExpression>

#include <sqlite3.h>

using SqlRun::unlessDone;

const QString OperatorRoster::ownerName = QStringLiteral("Inhaber");

namespace {
const Failure wrongSignIn(QStringLiteral("Name oder PIN stimmt nicht."));
}

OperatorRoster::OperatorRoster(const SqlConnection &db, const PinHash::Limits &limits)
    : m_db(db)
    , m_limits(limits)
{
}

QString OperatorRoster::tableStatements()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS Betreiber (Name TEXT PRIMARY KEY,"
                          " Inhaber INTEGER NOT NULL, Pin TEXT NOT NULL, Geaendert TEXT);");
}

bool OperatorRoster::hasOwner() const
{
    return m_db
        && SqlRun::singleValue(m_db.get(),
                               QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name ="
                                              " 'Betreiber' AND (SELECT count(*) FROM Betreiber"
                                              " WHERE Inhaber = 1) > 0"))
               .value_or(0)
        > 0;
}

Failure OperatorRoster::checkPin(const QString &pin)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{4,}$"));
    if (digits.match(pin).hasMatch())
        return Failure::none();
    return Failure(QStringLiteral("Die PIN muss aus mindestens 4 Ziffern bestehen."));
}

Failure OperatorRoster::setOwnerPin(const QString &pin)
{
    return store(ownerName, pin, true);
}

Failure OperatorRoster::setOperator(const QString &name, const QString &pin)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || trimmed.compare(ownerName, Qt::CaseInsensitive) == 0)
        return Failure(QStringLiteral("Bitte einen Namen für den Betreiber eingeben (nicht „%1“).")
                           .arg(ownerName));
    return store(trimmed, pin, false);
}

Failure OperatorRoster::store(const QString &name, const QString &pin, bool owner)
{
    if (const Failure failure = checkPin(pin))
        return failure;
    const std::optional<QString> hash = PinHash::make(pin, m_limits);
    if (!hash)
        return Failure(QStringLiteral("Die PIN konnte nicht verschlüsselt werden."));
    if (const Failure failure = SqlRun::exec(m_db.get(), tableStatements()))
        return failure;
    SqlStatement write(m_db.get(),
                       QStringLiteral("INSERT OR REPLACE INTO Betreiber (Name, Inhaber, Pin,"
                                      " Geaendert) VALUES (?1, ?2, ?3, ?4)"));
    return unlessDone(write.bind(1, name) && write.bind(2, qint64(owner)) && write.bind(3, *hash)
                          && write.bind(4, TextFormats::moment(Clock::current().now()))
                          && write.run(),
                      write);
}

Failure OperatorRoster::removeOperator(const QString &name)
{
    SqlStatement remove(m_db.get(),
                        QStringLiteral("DELETE FROM Betreiber WHERE Name = ?1 AND Inhaber = 0"));
    return unlessDone(remove.bind(1, name) && remove.run(), remove);
}

QStringList OperatorRoster::operatorNames() const
{
    QStringList names;
    if (!hasOwner())
        return names;
    SqlStatement query(m_db.get(),
                       QStringLiteral("SELECT Name FROM Betreiber WHERE Inhaber = 0"
                                      " ORDER BY Name COLLATE NOCASE"));
    while (query.next())
        names.append(query.text(0).value_or(QString()));
    return names;
}

Result<OnDuty> OperatorRoster::identify(const QString &name, const QString &pin) const
{
    SqlStatement query(m_db.get(),
                       QStringLiteral("SELECT Name, Inhaber, Pin FROM Betreiber WHERE Name = ?1"));
    if (!query.bind(1, name.trimmed()) || !query.next())
        return wrongSignIn;
    if (!PinHash::matches(query.text(2).value_or(QString()), pin))
        return wrongSignIn;
    return OnDuty{query.text(0).value_or(QString()),
                  query.integer(1).value_or(0) ? OnDuty::Owner : OnDuty::Operator};
}
