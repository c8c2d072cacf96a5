#pragma once

#include "StatisticsBlock.h"

#include <QObject>

#include <optional>

class UsageDatabase;
struct UsageTotals;

// Fills the statistics block from the usage database: the totals at start-up, the
// month lists once, a month's figures when one is chosen, and a station's totals
// after each of its stops.
class StatisticsPanel : public QObject
{
    Q_OBJECT

public:
    StatisticsPanel(StatisticsBlock &block, UsageDatabase &database, QObject *parent = nullptr);

    void loadTotals();
    void fillMonthList(int station);
    void showMonthFees(int station);
    void showTotals(int station, const UsageTotals &totals);

private:
    StatisticsBlock &m_block;
    UsageDatabase &m_database;
};
