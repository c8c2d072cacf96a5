#pragma once

#include "Billing.h"
#include "UsageDatabase.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// What the operator is told about the periods a previous run left open, and which
// of them need the operator's choice before they go on.
namespace RecoveredPeriods {

// A period that began this long ago or longer, or later than now, is not resumed unasked.
constexpr qint64 longestUnaskedSeconds = 12 * 3600;

bool needsChoice(const OpenPeriod &period, const QDateTime &now);

// "Station 1: seit 12.05.2004 14:00:00"
QString description(const OpenPeriod &period);

// The question whether the period goes on (Ja) or is ended and billed now (Nein).
QString question(const OpenPeriod &period, const QDateTime &now);

// The notice of the periods that go on.
QString resumedNotice(const QStringList &descriptions);

// A period ended at `now` and billed by `tariffs` from its beginning, by the wall
// clock, as the stop of a recovered period bills it.
StoppedPeriod stoppedAt(const OpenPeriod &period, const Tariffs &tariffs, const QDateTime &now);

// The question for the periods left open on stations this console does not serve
// (above `servedStations`): each with its beginning and what it costs now. Ja bills
// them now, Nein leaves them open for a console that serves their stations.
QString unservedQuestion(const QList<OpenPeriod> &periods, int servedStations,
                         const Tariffs &tariffs, const QDateTime &now);

}
