#include "RecoveredPeriods.h"

#include "TextFormats.h"

namespace RecoveredPeriods {

bool needsChoice(const OpenPeriod &period, const QDateTime &now)
{
    const qint64 passed = period.begin.secsTo(now);
    return passed < 0 || passed > longestUnaskedSeconds;
}

QString description(const OpenPeriod &period)
{
    const QDateTime begin = period.begin.toLocalTime();
    return QStringLiteral("Station %1: seit %2 %3")
        .arg(QString::number(period.station), TextFormats::date(begin.date()),
             TextFormats::timeOfDay(begin.time()));
}

QString question(const OpenPeriod &period, const QDateTime &now)
{
    const QString when = period.begin > now
        ? QStringLiteral("Ihr Beginn liegt in der Zukunft; die Uhr dieses PCs"
                         " ging damals oder geht jetzt falsch.")
        : QStringLiteral("Sie begann vor mehr als 12 Stunden.");
    return QStringLiteral(
               "Eine Nutzung, die beim letzten Beenden von Kavo noch lief, ist offen (%1). %2\n\n"
               "Ja: Die Nutzung läuft weiter.\n"
               "Nein: Die Nutzung wird jetzt beendet und abgerechnet.")
        .arg(description(period), when);
}

// Its pauses, the one going on included, are not billed; the record keeps them.
StoppedPeriod stoppedAt(const OpenPeriod &open, const Tariffs &tariffs, const QDateTime &now)
{
    OpenPeriod period = open;
    if (period.paused())
        period.pausedSeconds += qMax<qint64>(0, period.pausedSince.secsTo(now));
    period.pausedSince = QDateTime();
    const qint64 seconds = qMax<qint64>(
        0, now.toSecsSinceEpoch() - period.begin.toSecsSinceEpoch() - period.pausedSeconds);
    const PeriodBill bill = Billing::bill(seconds, tariffs);
    return {period,
            {period.startText, TextFormats::timeOfDay(now.time()), bill.durationText, bill.feeText},
            bill.durationSeconds,
            now.date().month(),
            period.begin,
            now,
            std::nullopt};
}

QString unservedQuestion(const QList<OpenPeriod> &periods, int servedStations,
                         const Tariffs &tariffs, const QDateTime &now)
{
    QStringList lines;
    for (const OpenPeriod &period : periods) {
        const UsageRecord record = stoppedAt(period, tariffs, now).record;
        lines.append(QStringLiteral("- ") + description(period) + QStringLiteral(", bisher ")
                     + record.duration + QStringLiteral(", jetzt ") + record.fee);
    }
    QList<int> served;
    for (int station = 1; station <= servedStations; ++station)
        served.append(station);
    return QStringLiteral(
               "Kavo bedient nur %1. Auf diesen Stationen lief beim letzten Beenden von Kavo"
               " noch eine Nutzung:\n%2\n\n"
               "Jetzt abrechnen: Die Nutzungen werden jetzt beendet und abgerechnet.\n"
               "Später: Die Nutzungen bleiben offen, bis Kavo diese Stationen wieder bedient.")
        .arg(UsageDatabase::stationsText(served), lines.join(QLatin1Char('\n')));
}

QString resumedNotice(const QStringList &descriptions)
{
    return QStringLiteral(
               "Diese Nutzungen liefen beim letzten Beenden von Kavo noch und laufen weiter:\n%1")
        .arg(descriptions.join(QLatin1Char('\n')));
}

}
