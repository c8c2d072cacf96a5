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
};

// What one stopped period costs and how the station panel shows it.
struct PeriodBill
{
    qint64 durationSeconds = 0;
    qint64 feeUnits = 0;  // ten-thousandths of a euro, before the display rounds to cents
    QString feeText;      // 1,05 €
    QString durationText; // 00:10:30
};

// Duration and fee of a usage period. No state: every stop is billed afresh.
class Billing
{
public:
    // Bills the period between two times of day (hh:mm:ss). A stop earlier than the
    // start means the period ran past midnight. Nothing when a time can't be read.
    static std::optional<PeriodBill> bill(const QString &startText, const QString &stopText,
                                          const Tariffs &tariffs);

    static qint64 durationSeconds(const QTime &start, const QTime &stop);

    // Fee in ten-thousandths of a euro: tariff / 15 × minutes, halves to even. The
    // tariff is chosen by the duration; 0 when that tariff can't be read.
    static qint64 feeUnits(qint64 durationSeconds, const Tariffs &tariffs);

    // Seconds as a time of day in the given format: "hh" hours, "nn" (or "mm")
    // minutes, "ss" seconds, two digits each; whole days are dropped.
    static QString formatSeconds(qint32 seconds, const QString &format);

    // Whole minutes of a period as the totals count them: halves to even (90 s → 2).
    static qint64 wholeMinutes(qint64 seconds);
};
