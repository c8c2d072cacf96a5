#pragma once

#include "DatabaseSoundness.h"
#include "OpenPeriodStore.h"
#include "Result.h"
#include "SqlConnection.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class RecordChain;
class UsageSchema;
class UsageStatistics;

// One usage record as the station panel shows it after a stop.
struct UsageRecord
{
    QString start;    // 14:00:00
    QString end;      // 14:10:30
    QString duration; // 00:10:30
    QString fee;      // 1,05 €
};

// A station's running totals after an update.
struct UsageTotals
{
    qint64 minutes = 0;
    qint64 feeUnits = 0; // ten-thousandths of a euro
};

// A stopped period: its record and what the totals need.
struct StoppedPeriod
{
    OpenPeriod period;
    UsageRecord record;
    qint64 durationSeconds = 0;
    int month = 1; // of the stop
    // The start (moved by a correction of the start box) and the stop by the wall
    // clock; a record without them is kept undated.
    QDateTime startMoment;
    QDateTime stopMoment;
    // Where the start box was corrected: the real start and the fee from there; kept
    // beside the record while the book is kept (see RecordChain).
    struct Correction
    {
        QDateTime realStart;
        qint64 realFeeUnits = 0;
    };
    std::optional<Correction> correction;
};

// A record the database took.
struct RecordedPeriod
{
    bool earlier = false;              // recorded before; nothing was written now
    std::optional<UsageTotals> totals; // none when the totals row is missing
    bool totalsUnreadable = false;     // written, but the total of fees reads as no amount
};

// Writes the usage records and keeps every station's running totals (table
// clientNstat, one row) with them.
class UsageRecorder
{
public:
    UsageRecorder(const SqlConnection &db, const int &stations, const DatabaseSoundness &soundness,
                  UsageSchema &schema, OpenPeriodStore &periods, UsageStatistics &statistics,
                  RecordChain &chain);

    // Appends the record with the period's month, its start and stop, the operator
    // and the database's next number, and adds the whole minutes and
    // the fee to the totals, and ends the open period, all or nothing, on disk
    // before it returns. A period recorded before (see `keepMarker`) is not
    // recorded again. With `keepMarker` the period stays known as recorded until
    // forgetRecorded, for a copy of it that may still be pending elsewhere.
    // A refusal gives the engine's reason.
    Result<RecordedPeriod> recordPeriod(const StoppedPeriod &stopped, bool keepMarker = false);

    // The operator on duty, whom every record names.
    const QString &operatorName() const { return m_operator; }
    void setOperatorName(const QString &name) { m_operator = name; }

    // Voids the station's record of that number: never deletes it, but writes a
    // counter-record with the negative fee and duration that refers to it, with the
    // operator on duty and the reason, and takes both off the totals. Only while the
    // book is kept; a record is voided once, a counter-record never.
    Failure voidRecord(int station, qint64 number, const QString &reason);

    std::optional<qint64> readTotalMinutes(int station);
    std::optional<qint64> readTotalFees(int station); // ten-thousandths of a euro

    // The stations whose totals row is missing: their records are written, their
    // totals are not kept.
    QList<int> stationsWithoutTotals();
    // The stations whose total of fees reads as no amount (an empty field counts as
    // zero): their records are written, their totals are left as they are.
    QList<int> stationsWithUnreadableTotals();

private:
    Failure stillInPlace() const { return m_soundness.stillInPlace(); }

    const SqlConnection &m_db;
    const int &m_stations;
    const DatabaseSoundness &m_soundness;
    UsageSchema &m_schema;
    OpenPeriodStore &m_periods;
    UsageStatistics &m_statistics;
    RecordChain &m_chain;
    QString m_operator; // the system user running the console
};
