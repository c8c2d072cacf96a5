#pragma once

#include "Billing.h"
#include "StationTotalsFeed.h"
#include "UsageDatabase.h"

#include <QJsonArray>
#include <QObject>
#include <QTimer>

#include <map>
#include <memory>

// Keeps every started period until its record is in the usage database, exactly
// once, in the order of the stops. A started period is on disk before the start
// goes on: in the database's table Perioden, or in the side file beside the
// database when the database refuses. A record the database refuses is kept in
// memory and in the side file, the operator is told, and it is written at the next
// stop, on a timer, or at the next start-up, whichever comes first. A record of
// the side file is written only where it is plausible: at most 7 days long, its
// times agreeing with its length and its fee with its tariffs.
class UsageLedger : public QObject
{
    Q_OBJECT

public:
    // `tariffs`: the tariffs in force, which bill the records of this run.
    UsageLedger(UsageDatabase &database, const QString &sideFilePath, const Tariffs &tariffs,
                QObject *parent = nullptr);

    // The side file of a database file: kavo.mde keeps it in kavo.nachtrag.
    static QString sideFilePathFor(const QString &databasePath);

    // Reads what a previous run left: open periods and pending records, and writes
    // the pending ones. Fails for a side file that can't be read or set aside.
    Failure recover();

    // The period left open on the station by a previous run, if any.
    std::optional<OpenPeriod> openPeriod(int station) const;
    // The periods left open on stations above those served, oldest first. They stay
    // open until finished here or resumed by a console that serves their station.
    QList<OpenPeriod> unservedPeriods() const;

    // A new period started at `moment`, on disk before it returns; the operator is
    // told when neither the database nor the side file takes it (the period runs
    // all the same).
    OpenPeriod begin(int station, const QDateTime &moment, int intervalMinutes);

    // The running period as it is now (its interval, station, origin and pauses), on
    // disk where its start is, so that a restart resumes it so; or why it can't be.
    Failure update(const OpenPeriod &period);

    // Writes the record, after any still pending before it.
    void finish(const StoppedPeriod &stopped);

    // The text for a station whose total of fees reads as no amount.
    static QString unreadableTotalsText(int station);

    // The totals of one station after each of its records is written.
    const StationTotalsFeed &totalsFeed(int station) { return feedOf(station); }

    qsizetype pendingCount() const { return m_pending.size(); }
    void setRetryInterval(int milliseconds) { m_retry.setInterval(milliseconds); }

signals:
    void problem(const QString &text);

private:
    // What the side file holds, or why it can't be read.
    Result<QJsonArray> readSideFile();
    QList<OpenPeriod> collectRecovered(const QStringList &stoppedIds, const QStringList &recorded);
    // Where entries were set aside, or why they could not be.
    Result<QString> keepAside(const QJsonArray &entries);
    void writePending();
    StationTotalsFeed &feedOf(int station);
    Failure saveSideFile();
    bool sideFileHolds(const QString &periodId) const;
    void forgetMarkers();
    QString refusalText(const StoppedPeriod &stopped, const QString &reason, bool inSideFile) const;

    UsageDatabase &m_database;
    QString m_sideFilePath;
    Tariffs m_tariffs;
    QList<OpenPeriod> m_openInSideFile; // started while the database refused
    QList<StoppedPeriod> m_pending;     // stopped, not yet written, oldest first
    QList<OpenPeriod> m_recovered;      // left open by a previous run
    QByteArray m_sideFileBytes;         // what the side file holds now
    QStringList m_sideFileIds;          // the periods it names
    QStringList m_markersToForget;      // written, still named by the side file
    QString m_lastError;                // why the database refused the last record
    QTimer m_retry;
    std::map<int, std::unique_ptr<StationTotalsFeed>> m_totalsFeeds; // made when asked for
};
