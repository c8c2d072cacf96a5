#include "UsageDatabaseCase.h"

#include "TestSupport.h"

#include <QFile>

bool UsageDatabaseCase::makeDatabase()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = UsageDatabase::pathFor(m_dir->path(), QStringLiteral("kavo"));
    const Failure failure = UsageDatabase::create(m_path);
    m_database = std::make_unique<UsageDatabase>();
    if (failure)
        qWarning("%s", qPrintable(failure.text()));
    return !failure;
}

bool UsageDatabaseCase::recordOn(int station, const QDate &day, const QString &fee)
{
    return writtenNow(record(station, recordWithFee(fee), 630, day.month()));
}

Result<RecordedPeriod> UsageDatabaseCase::record(int station, const UsageRecord &usage,
                                                 qint64 seconds, int month)
{
    return m_database->recorder().recordPeriod(stoppedPeriod(station, usage, seconds, month));
}

UsageRecord recordWithFee(const QString &fee)
{
    return {QStringLiteral("14:00:00"), QStringLiteral("14:10:30"), QStringLiteral("00:10:30"),
            fee};
}

StoppedPeriod datedPeriod(int station, const QDateTime &stop, const QString &fee)
{
    StoppedPeriod stopped = stoppedPeriod(station, recordWithFee(fee), 600, stop.date().month());
    stopped.startMoment = stop.addSecs(-600);
    stopped.stopMoment = stop;
    return stopped;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
