#pragma once

#include <QList>

class QComboBox;
class QLineEdit;
class QWidget;

// The statistics controls below the station panels: per station the total minutes
// and takings so far, a month list, and the chosen month's minutes and takings.
struct StatisticsBlock
{
    struct Station
    {
        QLineEdit *totalMinutes = nullptr; // tfNutzungszeit1
        QLineEdit *totalFees = nullptr;    // tfEntgeld1
        QComboBox *months = nullptr;       // cmbMonat1
        QLineEdit *monthMinutes = nullptr; // tfMMinuten1
        QLineEdit *monthFees = nullptr;    // tfMEuro1
    };

    Station stations[2];

    // Every control of both blocks in the order they are shown and hidden.
    QList<QWidget *> controls;

    Station &station(int number) { return stations[number - 1]; }

    // Builds both blocks as children of `parent`, starting `top` twips down.
    static StatisticsBlock create(QWidget *parent, int top);

    // Twips from the block's top to its bottom edge.
    static constexpr int height = 1800;
};
