#pragma once

#include <QList>

class QComboBox;
class QLineEdit;
class QWidget;

// One station's statistics controls below its panel: the total minutes and takings
// so far, a month list, and the chosen month's minutes and takings.
struct StatisticsBlock
{
    QLineEdit *totalMinutes = nullptr; // tfNutzungszeit1
    QLineEdit *totalFees = nullptr;    // tfEntgeld1
    QComboBox *months = nullptr;       // cmbMonat1
    QLineEdit *monthMinutes = nullptr; // tfMMinuten1
    QLineEdit *monthFees = nullptr;    // tfMEuro1

    // Every control of the block, shown and hidden together.
    QList<QWidget *> controls;

    // Builds station `number`'s block as children of `parent`, its top left corner
    // at `left`, `top` twips.
    static StatisticsBlock create(QWidget *parent, int number, int left, int top);

    // Twips from the block's top to its bottom edge.
    static constexpr int height = 1800;
};
