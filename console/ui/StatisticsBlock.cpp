#include "StatisticsBlock.h"

#include "Twips.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace {
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
// A further station's labels are named for what they say and its number.
constexpr LabelNames furtherLabelNames = {
    "lbStatistik",     "lbNutzungszeit", "lbNutzungszeitMinuten", "lbEinnahmen",
    "lbEinnahmenEuro", "lbMonat",        "lbMMinutenEinheit",     "lbMEuroEinheit",
};

struct Builder
{
    QWidget *parent;
    int number;
    QList<QWidget *> &controls;

    template<typename Widget> Widget *add(Widget *widget)
    {
        controls.append(widget);
        return widget;
    }

    QLabel *label(const char *name, const QString &text, int left, int top, int width)
    {
        auto *widget = add(new QLabel(text, parent));
        widget->setObjectName(number <= 2 ? QString::fromLatin1(name)
                                          : QString::fromLatin1(name) + QString::number(number));
        Twips::place(widget, left, top, width, 255);
        return widget;
    }

    QLineEdit *box(const char *name, int left, int top, int width = 1095)
    {
        auto *widget = add(new QLineEdit(parent));
        widget->setObjectName(QString::fromLatin1(name) + QString::number(number));
        Twips::place(widget, left, top, width, 285);
        return widget;
    }
};

void build(StatisticsBlock &block, Builder make, int x, int top)
{
    const LabelNames &names = make.number <= 2 ? labelNames[make.number - 1] : furtherLabelNames;

    QLabel *heading = make.label(names.heading, QStringLiteral("Statistik"), x + 120, top, 4575);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);

    int row = top + rowHeight;
    make.label(names.minutes, QStringLiteral("Bisherige Nutzungszeit:"), x + 120, row, 1935);
    block.totalMinutes = make.box("tfNutzungszeit", x + 2160, row);
    make.label(names.minutesUnit, QStringLiteral("Minuten"), x + 3360, row, 735);

    row += rowHeight;
    make.label(names.fees, QStringLiteral("Bisherige Einnahmen:"), x + 120, row, 1935);
    block.totalFees = make.box("tfEntgeld", x + 2160, row);
    make.label(names.feesUnit, QStringLiteral("Euro"), x + 3360, row, 735);

    row += rowHeight;
    make.label(names.month, QStringLiteral("Hier einen Monat wählen:"), x + 120, row, 1935);
    block.months = make.add(new QComboBox(make.parent));
    block.months->setObjectName(QStringLiteral("cmbMonat%1").arg(make.number));
    block.months->setEditable(true);
    // Only the listed months can be chosen; typed text never becomes a list entry.
    block.months->setInsertPolicy(QComboBox::NoInsert);
    block.months->setEditText(QStringLiteral("Monat wählen"));
    block.months->setToolTip(QStringLiteral("Bitte hier einen Monat wählen."));
    Twips::place(block.months, x + 2160, row, 1455, 315);

    row += rowHeight + 45;
    block.monthMinutes = make.box("tfMMinuten", x + 1200, row, 975);
    make.label(names.monthMinutesUnit, QStringLiteral("Minuten"), x + 2220, row, 735);
    block.monthFees = make.box("tfMEuro", x + 3000, row, 975);
    make.label(names.monthFeesUnit, QStringLiteral("Euro"), x + 4020, row, 615);
}

}

StatisticsBlock StatisticsBlock::create(QWidget *parent, int number, int left, int top)
{
    StatisticsBlock block;
    build(block, {parent, number, block.controls}, left, top);
    return block;
}
