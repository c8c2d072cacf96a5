#include "StatisticsBlock.h"

#include "Twips.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace {
constexpr int blockOffset = 4920;
constexpr int rowHeight = 360;

// Label names of one block, top to bottom: heading, total minutes and its unit,
// total takings and its unit, month choice, month minutes' unit, month takings' unit.
struct LabelNames
{
    const char *heading, *minutes, *minutesUnit, *fees, *feesUnit, *month, *monthMinutesUnit,
        *monthFeesUnit;
};
constexpr LabelNames labelNames[2] = {
    {"Label7", "Label9", "Label13", "Label10", "Label15", "Label19", "Label20", "Label21"},
    {"Label8", "Label12", "Label14", "Label11", "Label16", "Label22", "Label23", "Label24"},
};

QLabel *label(QWidget *parent, const char *name, const QString &text, int left, int top, int width)
{
    auto *widget = new QLabel(text, parent);
    widget->setObjectName(QString::fromLatin1(name));
    Twips::place(widget, left, top, width, 255);
    return widget;
}

QLineEdit *box(QWidget *parent, const QString &name, int left, int top, int width = 1095)
{
    auto *widget = new QLineEdit(parent);
    widget->setObjectName(name);
    Twips::place(widget, left, top, width, 285);
    return widget;
}

StatisticsBlock::Station createStation(QWidget *parent, int number, int top)
{
    const LabelNames &names = labelNames[number - 1];
    const int x = number == 1 ? 0 : blockOffset;
    const QString suffix = QString::number(number);
    StatisticsBlock::Station station;

    QLabel *heading = label(parent, names.heading, QStringLiteral("Statistik"), x + 120, top, 4575);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);

    int row = top + rowHeight;
    label(parent, names.minutes, QStringLiteral("Bisherige Nutzungszeit:"), x + 120, row, 1935);
    station.totalMinutes = box(parent, QStringLiteral("tfNutzungszeit") + suffix, x + 2160, row);
    label(parent, names.minutesUnit, QStringLiteral("Minuten"), x + 3360, row, 735);

    row += rowHeight;
    label(parent, names.fees, QStringLiteral("Bisherige Einnahmen:"), x + 120, row, 1935);
    station.totalFees = box(parent, QStringLiteral("tfEntgeld") + suffix, x + 2160, row);
    label(parent, names.feesUnit, QStringLiteral("Euro"), x + 3360, row, 735);

    row += rowHeight;
    label(parent, names.month, QStringLiteral("Hier einen Monat wählen:"), x + 120, row, 1935);
    station.months = new QComboBox(parent);
    station.months->setObjectName(QStringLiteral("cmbMonat") + suffix);
    station.months->setEditable(true);
    // Only the listed months can be chosen; typed text never becomes a list entry.
    station.months->setInsertPolicy(QComboBox::NoInsert);
    station.months->setEditText(QStringLiteral("Monat wählen"));
    station.months->setToolTip(QStringLiteral("Bitte hier einen Monat wählen."));
    Twips::place(station.months, x + 2160, row, 1455, 315);

    row += rowHeight + 45;
    station.monthMinutes = box(parent, QStringLiteral("tfMMinuten") + suffix, x + 1200, row, 975);
    label(parent, names.monthMinutesUnit, QStringLiteral("Minuten"), x + 2220, row, 735);
    station.monthFees = box(parent, QStringLiteral("tfMEuro") + suffix, x + 3000, row, 975);
    label(parent, names.monthFeesUnit, QStringLiteral("Euro"), x + 4020, row, 615);
    return station;
}

QList<QWidget *> showHideOrder(QWidget *parent)
{
    const char *names[]
        = {"Label7",     "Label8",     "Label9",      "Label10",         "Label11",
           "Label12",    "Label13",    "Label14",     "Label15",         "Label16",
           "Label19",    "Label20",    "Label21",     "Label22",         "Label23",
           "Label24",    "cmbMonat1",  "cmbMonat2",   "tfNutzungszeit1", "tfNutzungszeit2",
           "tfEntgeld1", "tfEntgeld2", "tfMMinuten1", "tfMMinuten2",     "tfMEuro1",
           "tfMEuro2"};
    QList<QWidget *> controls;
    for (const char *name : names)
        controls.append(
            parent->findChild<QWidget *>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly));
    return controls;
}
}

StatisticsBlock StatisticsBlock::create(QWidget *parent, int top)
{
    StatisticsBlock block;
    block.stations[0] = createStation(parent, 1, top);
    block.stations[1] = createStation(parent, 2, top);
    block.controls = showHideOrder(parent);
    return block;
}
