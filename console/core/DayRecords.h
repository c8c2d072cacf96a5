#pragma once

#include "Result.h"
#include "SqlConnection.h"

#include <QDate>
#include <QList>
#include <QString>

// A station's record of a day as a void picks it.
struct DayRecord
{
    enum State { Open, Voided, CounterRecord };
    qint64 number = 0;
    QString start;
    QString stop;
    qint64 feeUnits = 0;
    QString operatorName;
    State state = Open;

    // Only a record neither voided nor itself a void can be voided.
    bool mayVoid() const { return state == Open; }
    bool operator==(const DayRecord &) const = default;
};

// The records a station stopped on a day (by the wall clock), in the order they were
// stopped, each marked where it is voided already or is itself a void. Only where
// the book is kept, which voids need.
class DayRecords
{
public:
    DayRecords(const SqlConnection &db, const int &stations);

    Result<QList<DayRecord>> of(int station, const QDate &day) const;

private:
    const SqlConnection &m_db;
    const int &m_stations;
};
