#pragma once

#include <QList>

#include <vector>

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

    // Stations 1, 2, ... in their order.
    std::vector<Station> stations;

    // Every control of every station's block, shown and hidden together.
    QList<QWidget *> controls;

    Station &station(int number) { return stations[number - 1]; }
    int stationCount() const { return int(stations.size()); }

    // Builds the next station's block as children of `parent`, its top left corner
    // at `left`, `top` twips.
    void addStation(QWidget *parent, int left, int top);

    // Twips from the block's top to its bottom edge.
    static constexpr int height = 1800;
};
