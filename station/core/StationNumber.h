#pragma once

#include <QString>

// The number a station program runs as, 1 to 32. Key "Station" in section "Server"
// of Client.ini gives it; where the key is missing or empty, the program's own file
// name does ("Client7"), so that Client1 and Client2 need no key. A key that
// names no station from 1 to 32 is told and the program does not connect, so that
// it takes no other station's place; where neither key nor name gives a number,
// the program runs as station 1 and says why.
class StationNumber
{
public:
    static constexpr int first = 1;
    static constexpr int last = 32;

    // `programDirectory` holds Client.ini; `programName` is the program's file name
    // as it was started, without its folder.
    static StationNumber find(const QString &programDirectory, const QString &programName);

    int value() const { return m_value; }
    // False where the key names no station: the program must not connect as value().
    bool connects() const { return m_connects; }
    // Why the program runs as station 1 or not at all: what was found, and the
    // numbers allowed. Empty where the key or the name gave the number.
    QString problem() const { return m_problem; }
    static QString problemTitle();

private:
    StationNumber(int value, const QString &problem, bool connects = true);

    int m_value;
    QString m_problem;
    bool m_connects;
};
