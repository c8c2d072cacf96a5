#pragma once

#include <QString>
#include <QTime>

#include <optional>

// The three tariffs as written in Kavo.ini: euros per 15 minutes, with a decimal
// comma or point. An empty or unreadable text bills nothing.
struct Tariffs
{
    QString base;   // periods under 30 minutes
    QString over30; // from 30 minutes
    QString over60; // from 60 minutes
    // "Staffel=deckeln": a period never costs more than a longer one would, so a
    // period just under 30 or 60 minutes costs at most what those cost.
    bool capByLongerPeriods = false;
};

// What one stopped period costs and how the station panel shows it.
struct PeriodBill
{
    qint64 durationSeconds = 0;
    qint64 feeUnits = 0;  // ten-thousandths of a euro, before the display rounds to cents
    QString feeText;      // 1,05 €
    QString durationText; // 00:10:30
};

// How long a period lasted, after a correction of its start box.
struct PeriodLength
{
    qint64 seconds = 0;
    QString startText;            // the start as it goes into the record: 14:05:00
    bool startUnreadable = false; // the box held no time; the real start counts
};

// Duration and fee of a usage period. No state: every stop is billed afresh.
class Billing
{
public:
    // Bills a period of the given length.
    static PeriodBill bill(qint64 durationSeconds, const Tariffs &tariffs);

    // A period's length is the time measured from its real start, shown in the
    // start box as `realStartText`. When the operator corrected the box to another
    // time of day (14:05, 14:05:09, 9:05), the period starts at the moment of that
    // time nearest the real start, at most 12 hours before or after it, and its
    // length changes by as much (never below 0). Text that is no time of day
    // leaves the real start.
    static PeriodLength periodLength(const QString &realStartText, const QString &startBoxText,
                                     qint64 measuredSeconds);

    // The duration box: hh:nn:ss, with all hours of a period of a day or more.
    static QString durationText(qint64 seconds);

    // Fee in ten-thousandths of a euro: tariff / 15 × minutes, halves to even. The
    // tariff is chosen by the duration; 0 when that tariff can't be read. Capped,
    // it is at most the fee of 30 and of 60 minutes, where those are longer and
    // their tariffs readable.
    static qint64 feeUnits(qint64 durationSeconds, const Tariffs &tariffs);

    // Seconds as a time of day in the given format: "hh" hours, "nn" (or "mm")
    // minutes, "ss" seconds, two digits each; whole days are dropped.
    static QString formatSeconds(qint32 seconds, const QString &format);

    // A duration as stored, hh:nn:ss with as many digits of hours as needed; a
    // counter-record's starts with "-" and counts back. 0 for anything else.
    static qint64 durationSeconds(QStringView text);

    // Whole minutes of a period as the totals count them: halves to even (90 s → 2).
    static qint64 wholeMinutes(qint64 seconds);
};
