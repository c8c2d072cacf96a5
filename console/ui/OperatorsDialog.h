#pragma once

#include <QDialog>

class QLineEdit;
class QListWidget;
class UsageDatabase;

// frmBetreiber ("Betreiber und Rechte"): the owner's PIN and the operators with
// their PINs. Opened by the owner; the first owner PIN starts the book.
class OperatorsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit OperatorsDialog(UsageDatabase &database, QWidget *parent = nullptr);

private:
    void setOwnerPin();
    void addOperator();
    void removeOperator();
    void fillList();
    void tell(const QString &text);

    UsageDatabase &m_database;
    QLineEdit *m_ownerPin;
    QListWidget *m_operators;
    QLineEdit *m_name;
    QLineEdit *m_pin;
};
