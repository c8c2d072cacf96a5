#pragma once

#include "ClosingReopenings.h"
#include "Failure.h"
#include "SqlConnection.h"
#include "TariffHistory.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

class RecordChain;

// Periods, whole minutes and takings of a group of records: a station's, an operator's
// or all of them.
struct ClosingSum
{
    int periods = 0;
    qint64 minutes = 0;
    qint64 feeUnits = 0; // ten-thousandths of a euro

    void add(qint64 recordMinutes, qint64 recordFee);
    // A counter-record takes its period back: one period less, its minutes and fee
    // (negative) off.
    void takeBack(qint64 recordMinutes, qint64 recordFee);
    bool operator==(const ClosingSum &) const = default;
};

// A period still running at the closing, with the fee it has reached by then.
struct RunningFigure
{
    int station = 0;
    qint64 minutes = 0;
    qint64 feeUnits = 0;
    bool operator==(const RunningFigure &) const = default;
};

// A record whose start box was corrected: billed from `billedStart`, really started
// at `realStart`.
struct ClosingCorrection
{
    int station = 0;
    qint64 number = 0;
    QDateTime billedStart;
    QDateTime realStart;
    QString operatorName;
    qint64 feeUnits = 0;     // billed
    qint64 realFeeUnits = 0; // from the real start
    qint64 difference() const { return feeUnits - realFeeUnits; }
    bool operator==(const ClosingCorrection &) const = default;
};

// A counter-record: the record it voids, its (negative) fee, who and why.
struct ClosingVoid
{
    int station = 0;
    qint64 number = 0;
    qint64 voidedNumber = 0;
    qint64 feeUnits = 0;
    QString operatorName;
    QString reason;
    bool operator==(const ClosingVoid &) const = default;
};

// The figures of a closing: the dated records whose stop lies in [from, to) by the
// wall clock, per station, per operator and over all; undated records (made before
// records were dated) belong to no day and are never counted in them.
struct ClosingFigures
{
    QMap<int, ClosingSum> stations;
    QMap<QString, ClosingSum> operators;
    ClosingSum total;
    QList<RunningFigure> running; // shown beside, not part of the takings
    // Every undated record of the database as the closing found them, shown apart
    // ("ohne Datum"): their periods and fees, no minutes.
    ClosingSum undated;
    // While the book is kept: the corrected starts and the voids among the records.
    QList<ClosingCorrection> corrections;
    QList<ClosingVoid> voids;

    QByteArray toJson() const;
    static std::optional<ClosingFigures> fromJson(const QByteArray &json);
    bool operator==(const ClosingFigures &) const = default;
};

// A day's or a shift's closing, saved (number > 0) or as the records stand now.
struct Closing
{
    enum Kind { Day, Shift };
    Kind kind = Day;
    int number = 0; // 0: not closed yet
    QDateTime from;
    QDateTime to;
    QDateTime made;
    QString operatorName;
    ClosingFigures figures;
    QString fingerprint; // SHA-256 over the records, hex
    // While the book is kept: the chain's head, for the printed closing. A saved
    // closing's is its own entry's hash; else the head as it stands.
    QString chainHead;
    // A saved closing whose records no longer give its fingerprint.
    bool changedSince = false;
    // A day's: its closings opened again, this one's included once it is reopened
    // (then the day shows as it stands, to be closed anew).
    QList<ClosingReopening> reopenings;
    // While the tariffs' history is kept: the tariffs in force during the closing.
    QList<TariffPeriod> tariffs;

    bool isSaved() const { return number > 0; }
    // "Die Aufzeichnungen dieses Tages wurden nach dem Abschluss verändert." or empty.
    QString changeNotice() const;
};

// The day's and the shift's closing (table Abschluesse): the figures of a day or of
// the shift since the last shift closing, and the closings saved with a fingerprint
// over their records, so that a record changed afterwards shows.
class Closings
{
public:
    Closings(const SqlConnection &db, const int &stations, RecordChain &chain);

    // The day's closing as saved, checked against its records; else the figures as
    // the records stand. Nothing when the records can't be read.
    std::optional<Closing> day(const QDate &day, const QList<RunningFigure> &running = {});
    // The shift from the last shift closing (the start of today's date when there is
    // none) up to `now`, for the operator on duty.
    std::optional<Closing> shift(const QDateTime &now, const QString &operatorName,
                                 const QList<RunningFigure> &running = {});

    // Saves the closing with the next number; a day is closed once, again only
    // after it was reopened.
    Failure save(Closing &closing);
    ClosingReopenings &reopenings() { return m_reopenings; }

private:
    std::optional<Closing> savedWhere(const QString &condition, const QString &value);
    Failure figure(Closing &closing);
    Failure addUndated(int station, ClosingSum &undated);

    const SqlConnection &m_db;
    const int &m_stations;
    RecordChain &m_chain;
    ClosingReopenings m_reopenings{m_db, m_chain};
    TariffHistory m_tariffs{m_db};
};
