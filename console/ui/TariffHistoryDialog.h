#pragma once

#include <QDialog>

class TariffHistory;

// frmTarifverlauf: every tariff change noted, oldest first: from when, the three
// fees and who set them.
class TariffHistoryDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TariffHistoryDialog(const TariffHistory &history, QWidget *parent = nullptr);
};
