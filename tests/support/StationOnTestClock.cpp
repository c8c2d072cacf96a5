#include "StationOnTestClock.h"

#include <QDir>
#include <QFile>
#include <QTest>

StationOnTestClock::StationOnTestClock(const QDateTime &start, int station, quint16 consolePort)
    : clock(start)
    , scopedClock(clock)
    , console(station, consolePort)
{
    clock.runFreely();
}

void StationOnTestClock::writeIni(const QByteArray &content) const
{
    QFile file(QDir(directory()).filePath(QStringLiteral("Client.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}
