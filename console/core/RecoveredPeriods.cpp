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
        .arg(period.station)
        .arg(TextFormats::date(begin.date()), TextFormats::timeOfDay(begin.time()));
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

QString resumedNotice(const QStringList &descriptions)
{
    return QStringLiteral(
               "Diese Nutzungen liefen beim letzten Beenden von Kavo noch und laufen weiter:\n%1")
        .arg(descriptions.join(QLatin1Char('\n')));
}

}
