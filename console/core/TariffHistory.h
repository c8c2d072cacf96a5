#pragma once

#include "Billing.h"
#include "Failure.h"
#include "SqlConnection.h"

#include <QDateTime>
#include <QList>
#include <QString>

class SqlStatement;

// Tariffs as they were in force from a moment on, and who set them.
struct TariffPeriod
{
    QDateTime from;
    Tariffs tariffs;
    QString operatorName;
};

// The tariffs' history (table Tarife), kept while the owner is set up: a change is
// noted with its moment and who made it, so that a closing or a report can show
// which tariffs were in force.
class TariffHistory
{
public:
    explicit TariffHistory(const SqlConnection &db);

    static QString tableStatements();
    // Notes the tariffs in force from now on, unless they are those noted last.
    Failure note(const Tariffs &tariffs, const QString &operatorName);
    // The tariffs in force at some time in [from, to), oldest first: the one in force
    // at `from` and every one noted since.
    QList<TariffPeriod> inForce(const QDateTime &from, const QDateTime &to) const;
    // Every change noted, oldest first; none where the history is not kept.
    QList<TariffPeriod> all() const;

private:
    static QList<TariffPeriod> read(SqlStatement &query);

    const SqlConnection &m_db;
};
