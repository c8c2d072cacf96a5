#pragma once

#include "TakingsRange.h"

#include <QWidget>

#include <functional>

class QChart;
class QComboBox;
class QDateEdit;
class QLabel;
class QTableWidget;

// frmEinnahmen: the takings of every day of a range as a bar chart, stacked by
// station or of one station, with the table of the days beside it, the total, and
// the export of the range's records as a workbook.
class TakingsWindow : public QWidget
{
    Q_OBJECT

public:
    static TakingsWindow *showOrRaise(const TakingsRange &range, const QString &programDir,
                                      QWidget *parent);

    TakingsWindow(const TakingsRange &range, QString programDir, QWidget *parent = nullptr);

    // Asked before the records leave the console; where owners and operators are set
    // up it wants the owner's PIN.
    void setExportAllowed(std::function<bool()> allowed) { m_exportAllowed = std::move(allowed); }

private:
    void refresh();
    void showChart(const DailyTakings &takings, int station);
    void showTable(const DailyTakings &takings, int station);
    void exportRecords();

    const TakingsRange &m_range;
    QString m_programDir;
    QDateEdit *m_from;
    QDateEdit *m_to;
    QComboBox *m_station;
    QChart *m_chart;
    QTableWidget *m_days;
    QLabel *m_total;
    std::function<bool()> m_exportAllowed = [] { return true; };
};
