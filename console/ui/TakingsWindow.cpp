#include "TakingsWindow.h"

#include "Clock.h"
#include "MessageDialog.h"
#include "TakingsWorkbook.h"
#include "TextFormats.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>

namespace {
QDateEdit *dateEdit(const char *name, const QDate &date, QWidget *parent)
{
    auto *edit = new QDateEdit(date, parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    edit->setCalendarPopup(true);
    return edit;
}

QString stationName(int station)
{
    return QStringLiteral("Station %1").arg(station);
}
}

TakingsWindow *TakingsWindow::showOrRaise(const TakingsRange &range, const QString &programDir,
                                          QWidget *parent)
{
    static QPointer<TakingsWindow> openWindow;
    if (!openWindow)
        openWindow = new TakingsWindow(range, programDir, parent);
    openWindow->show();
    openWindow->raise();
    openWindow->activateWindow();
    return openWindow;
}

TakingsWindow::TakingsWindow(const TakingsRange &range, QString programDir, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_range(range)
    , m_programDir(std::move(programDir))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmEinnahmen"));
    setWindowTitle(QStringLiteral("Einnahmen"));
    const QDate today = Clock::current().now().date();
    m_from = dateEdit("dtVon", TakingsRange::monthStart(today), this);
    m_to = dateEdit("dtBis", TakingsRange::monthEnd(today), this);
    m_station = new QComboBox(this);
    m_station->setObjectName(QStringLiteral("cmbStation"));
    m_station->addItem(QStringLiteral("alle Stationen"), 0);
    for (int station = 1; station <= m_range.stationCount(); ++station)
        m_station->addItem(stationName(station), station);
    auto *exportButton = new QPushButton(QStringLiteral("Exportieren…"), this);
    exportButton->setObjectName(QStringLiteral("cmdExportieren"));

    m_chart = new QChart();
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    auto *chartView = new QChartView(m_chart, this);
    chartView->setObjectName(QStringLiteral("chtEinnahmen"));
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumSize(520, 320);
    m_days = new QTableWidget(0, 2, this);
    m_days->setObjectName(QStringLiteral("tblTage"));
    m_days->setHorizontalHeaderLabels({QStringLiteral("Tag"), QStringLiteral("Betrag")});
    m_days->verticalHeader()->hide();
    m_days->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_days->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_days->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_days->setFixedWidth(200);
    m_total = new QLabel(this);
    m_total->setObjectName(QStringLiteral("lblSumme"));

    auto *choices = new QHBoxLayout();
    choices->addWidget(new QLabel(QStringLiteral("Von:"), this));
    choices->addWidget(m_from);
    choices->addWidget(new QLabel(QStringLiteral("Bis:"), this));
    choices->addWidget(m_to);
    choices->addWidget(m_station);
    choices->addStretch();
    choices->addWidget(exportButton);
    auto *figures = new QHBoxLayout();
    figures->addWidget(chartView, 1);
    figures->addWidget(m_days);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addLayout(figures, 1);
    layout->addWidget(m_total);

    connect(m_from, &QDateEdit::dateChanged, this, &TakingsWindow::refresh);
    connect(m_to, &QDateEdit::dateChanged, this, &TakingsWindow::refresh);
    connect(m_station, &QComboBox::currentIndexChanged, this, &TakingsWindow::refresh);
    connect(exportButton, &QPushButton::clicked, this, &TakingsWindow::exportRecords);
    refresh();
}

void TakingsWindow::refresh()
{
    const int station = m_station->currentData().toInt();
    const Result<DailyTakings> takings
        = m_range.takings(m_from->date(), qMax(m_from->date(), m_to->date()));
    if (!takings.hasValue()) {
        m_total->setText(takings.failure().text());
        return;
    }
    showChart(takings.value(), station);
    showTable(takings.value(), station);
    QString total = QStringLiteral("Summe: ") + TextFormats::money(takings->total(station));
    if (takings->undatedRecords > 0)
        total += QStringLiteral("   (%1 Nutzungen ohne Datum liegen in keinem Zeitraum)")
                     .arg(takings->undatedRecords);
    m_total->setText(total);
}

void TakingsWindow::showChart(const DailyTakings &takings, int station)
{
    m_chart->removeAllSeries();
    for (QAbstractAxis *axis : m_chart->axes())
        m_chart->removeAxis(axis);
    QAbstractBarSeries *series = station > 0 ? static_cast<QAbstractBarSeries *>(new QBarSeries())
                                             : new QStackedBarSeries();
    const int first = station > 0 ? station : 1;
    const int last = station > 0 ? station : m_range.stationCount();
    for (int s = first; s <= last; ++s) {
        auto *set = new QBarSet(stationName(s));
        set->append(takings.euros(s));
        series->append(set);
    }
    m_chart->addSeries(series);
    QStringList days;
    for (qsizetype index = 0; index < takings.dayCount(); ++index)
        days.append(takings.day(index).toString(QStringLiteral("dd.MM.")));
    auto *dayAxis = new QBarCategoryAxis();
    dayAxis->append(days);
    dayAxis->setLabelsAngle(-90);
    dayAxis->setTruncateLabels(false);
    auto *euroAxis = new QValueAxis();
    euroAxis->setLabelFormat(QStringLiteral("%.0f"));
    euroAxis->setTitleText(QStringLiteral("Euro"));
    m_chart->addAxis(dayAxis, Qt::AlignBottom);
    m_chart->addAxis(euroAxis, Qt::AlignLeft);
    series->attachAxis(dayAxis);
    series->attachAxis(euroAxis);
    euroAxis->setMin(0);
    euroAxis->applyNiceNumbers();
}

void TakingsWindow::showTable(const DailyTakings &takings, int station)
{
    m_days->setRowCount(int(takings.dayCount()));
    for (qsizetype index = 0; index < takings.dayCount(); ++index) {
        const int row = int(index);
        m_days->setItem(row, 0, new QTableWidgetItem(TextFormats::date(takings.day(index))));
        auto *amount = new QTableWidgetItem(TextFormats::money(takings.amount(index, station)));
        amount->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_days->setItem(row, 1, amount);
    }
}

void TakingsWindow::exportRecords()
{
    if (!m_exportAllowed())
        return;
    const QDate first = m_from->date();
    const QDate last = qMax(first, m_to->date());
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Exportieren"),
        QDir(m_programDir).filePath(TakingsWorkbook::fileNameFor(first, last)),
        QStringLiteral("Excel-Arbeitsmappe (*.xlsx)"));
    if (path.isEmpty())
        return;
    const Result<QList<TakingsRecord>> records = m_range.records(first, last);
    const Failure failure
        = records.hasValue() ? TakingsWorkbook::write(path, records.value()) : records.failure();
    if (failure)
        MessageDialog::show(this, {QStringLiteral("Kavo"), failure.text(), QMessageBox::Warning});
}
