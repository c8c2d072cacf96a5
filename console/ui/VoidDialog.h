#pragma once

#include <QDialog>

class DayRecords;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// frmStornieren: the void of a record picked from the list of a station's records
// of a day, with its reason. Records voided already and voids themselves are shown
// marked and can't be picked.
class VoidDialog : public QDialog
{
    Q_OBJECT

public:
    VoidDialog(const DayRecords &records, int stations, QWidget *parent = nullptr);

    int station() const;
    // The number of the record picked; 0 for none.
    qint64 number() const;
    QString reason() const;

private:
    void list();
    void updateButton();

    const DayRecords &m_records;
    QComboBox *m_station;
    QDateEdit *m_day;
    QTreeWidget *m_list;
    QLineEdit *m_reason;
    QLabel *m_message;
    QPushButton *m_void;
};
