#pragma once

#include "FakeConsole.h"
#include "ManualClock.h"
#include "ScopedClock.h"

#include <QStringList>
#include <QTemporaryDir>

// What the rigs of a station share: its program directory with the Client.ini the
// test writes, a console stand-in on loopback, and a test clock that runs freely
// from `start`, so that the station's display moves on a second at a time.
class StationOnTestClock
{
public:
    StationOnTestClock(const QDateTime &start, int station, quint16 consolePort = 0);

    void writeIni(const QByteArray &content) const;
    QString directory() const { return m_directory.path(); }

    // The station's messages from the n-th on.
    QStringList messagesFrom(qsizetype first) const { return console.messages().mid(first); }

    ManualClock clock;
    ScopedClock scopedClock;
    FakeConsole console;

private:
    QTemporaryDir m_directory;
};
