#pragma once

#include "Failure.h"
#include "SqlConnection.h"

#include <QDateTime>
#include <QList>
#include <QString>

// What the owner must see (table Vorfaelle): sign-in locked after wrong PINs, the
// book found touched. Each stays open until the owner acknowledges it with his PIN.
struct Incident
{
    int number = 0;
    QDateTime when;
    QString text;
};

class Incidents
{
public:
    explicit Incidents(const SqlConnection &db);

    static QString tableStatements();
    Failure note(const QString &text);
    // The incidents not yet acknowledged, oldest first.
    QList<Incident> open() const;
    // The incidents noted since the moment, acknowledged or not, for a closing.
    QList<Incident> since(const QDateTime &from) const;
    Failure acknowledge(const QString &byWhom);

private:
    QList<Incident> read(const QString &condition, const QString &value) const;

    const SqlConnection &m_db;
};
