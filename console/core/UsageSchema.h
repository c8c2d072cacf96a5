#pragma once

#include "Failure.h"
#include "SqlConnection.h"

#include <QList>
#include <QString>

// The tables of the usage database: per station N the table clientN of usage records
// and clientNstat of running totals, and the console's own table Perioden. Makes
// them, adds those of further stations, and checks that a file has what the
// console reads and writes.
class UsageSchema
{
public:
    UsageSchema(const SqlConnection &db, const int &stations);

    // The stations up to `stations` that have neither of their tables.
    QList<int> missingStations(int stations);
    // Names the missing stations and the command that adds them.
    Failure checkStationsPresent(const QString &path);
    // Every station's tables have the columns the console reads.
    Failure checkTables();
    Failure makeOwnTables();
    // Makes the tables of the stations in one transaction, with zero totals.
    Failure makeTables(const QList<int> &stations);
    // Gives a file made before records were dated what dates them, a file made
    // before closings the table of closings, and a file without the day sums (table
    // Tagessummen) the sums of its records and the triggers that keep them, in one
    // transaction that adds columns, an index, tables and triggers and changes no
    // value.
    Failure addDating();
    // The tables of a station above those served, made or dated where needed, so
    // that its left-open periods can be recorded.
    Failure prepareUnserved(int station);

private:
    const SqlConnection &m_db;
    const int &m_stations;
};
