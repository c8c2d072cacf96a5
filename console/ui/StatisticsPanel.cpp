#include "StatisticsPanel.h"

#include "TextFormats.h"
#include "UsageDatabase.h"

#include <QComboBox>
#include <QLineEdit>

namespace {
// An empty sum has no text: the box keeps what it showed.
void showAmount(QLineEdit *box, std::optional<qint64> units)
{
    if (units)
        box->setText(TextFormats::plainAmount(*units));
}

void showMinutes(QLineEdit *box, std::optional<qint64> minutes)
{
    if (minutes)
        box->setText(QString::number(*minutes));
}
}

StatisticsPanel::StatisticsPanel(StatisticsBlock &block, UsageDatabase &database, QObject *parent)
    : QObject(parent)
    , m_block(block)
    , m_database(database)
{
    for (int station = 1; station <= m_block.stationCount(); ++station) {
        connect(m_block.station(station).months, &QComboBox::activated, this,
                [this, station] { showMonthFees(station); });
    }
}

void StatisticsPanel::loadTotals()
{
    for (int station = 1; station <= m_block.stationCount(); ++station)
        showAmount(m_block.station(station).totalFees, m_database.statistics().sumAllFees(station));
    for (int station = 1; station <= m_block.stationCount(); ++station)
        showMinutes(m_block.station(station).totalMinutes,
                    m_database.recorder().readTotalMinutes(station));
}

void StatisticsPanel::fillMonthList(int station)
{
    QComboBox *months = m_block.station(station).months;
    months->clear();
    months->addItems(m_database.statistics().listMonths(station));
    months->setCurrentIndex(-1);
    months->clearEditText();
}

void StatisticsPanel::showMonthFees(int station)
{
    StatisticsBlock::Station &boxes = m_block.station(station);
    const QString month = boxes.months->currentText();
    showAmount(boxes.monthFees, m_database.statistics().sumMonthFees(station, month));
    showMinutes(boxes.monthMinutes, m_database.statistics().sumMonthMinutes(station, month));
}

void StatisticsPanel::showTotals(int station, const UsageTotals &totals)
{
    StatisticsBlock::Station &boxes = m_block.station(station);
    boxes.totalMinutes->setText(QString::number(totals.minutes));
    boxes.totalFees->setText(TextFormats::plainAmount(totals.feeUnits));
}
