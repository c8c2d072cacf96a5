#pragma once

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>

class StationSession;
class UsageStatistics;

// All stations at a glance, in one line for the status bar: today's takings over
// every station and the number of periods running.
class CafeOverview : public QObject
{
    Q_OBJECT

public:
    CafeOverview(UsageStatistics &statistics, int stations, QObject *parent = nullptr);

    // Counts the session's running period and follows its starts and stops.
    void watch(const StationSession &session);

    // Reads today's takings again, as the clock says; a new day starts from nothing.
    void refresh();

    const QString &text() const { return m_text; }

    // "Heute 12,50 € eingenommen, 2 Nutzungen laufen"
    static QString lineFor(qint64 feeUnits, int running);

signals:
    void textChanged(const QString &text);

private:
    UsageStatistics &m_statistics;
    int m_stations;
    QList<const StationSession *> m_sessions;
    QString m_text;
};
