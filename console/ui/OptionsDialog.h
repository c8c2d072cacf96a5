#pragma once

#include "ConsoleConfig.h"

#include <QList>
#include <QWidget>

#include <array>

class QCheckBox;
class QGridLayout;
class QLineEdit;

// frmOptionen: the tariffs and whether longer periods cap them, the database name, the company
// name, the number of stations and the stations' addresses and keys of Kavo.ini. A changed tariff,
// database name, number of stations, address or key is written and ends the
// console, which reads its settings only at start; a changed company name is
// written silently.
class OptionsDialog : public QWidget
{
    Q_OBJECT

public:
    explicit OptionsDialog(const QString &iniPath, QWidget *parent = nullptr);

    // Shows the dialog, creating and loading it if it is not open.
    static void showOrRaise(const QString &iniPath, QWidget *mainWindow);

private:
    struct Field
    {
        QLineEdit *box;
        QString section;
        QString key;
        QString loaded;
        QString emptyMessage;
    };

    QList<Field *> fields();
    // The number of stations, their addresses and their keys.
    QList<Field *> stationFields();
    void load();
    void saveSequence();
    bool saveTariff(const Field &field);
    bool saveFeeScale();
    bool saveDbName(const Field &field);
    void saveCompanyName(const Field &field);
    void addAddressList();
    void addStationRow(QGridLayout *layout, int station);
    bool saveStationSettings();
    bool stationSettingsReadable();
    bool write(const Field &field);
    bool write(const QString &section, const QString &key, const QString &value);
    void endForRestart();
    bool changed(const Field &field) const;

    QString m_iniPath;
    Field m_fee;
    Field m_fee30;
    Field m_fee60;
    QCheckBox *m_feeScale = nullptr; // "Staffel=deckeln"
    QString m_feeScaleLoaded;
    Field m_dbName;
    Field m_companyName;
    Field m_stationCount;
    std::array<Field, ConsoleConfig::maxStationCount> m_addresses;
    std::array<Field, ConsoleConfig::maxStationCount> m_keys;
};
