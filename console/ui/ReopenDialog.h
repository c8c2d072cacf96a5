#pragma once

#include <QDate>
#include <QDialog>

class ClosingDesk;
class QLabel;
class QLineEdit;

// frmWiederOeffnen: opens a day's closing again, with the owner's PIN (where one is
// set up) and the reason. Stays open with what was wrong until it succeeds or is
// closed.
class ReopenDialog : public QDialog
{
    Q_OBJECT

public:
    ReopenDialog(ClosingDesk &desk, const QDate &day, QWidget *parent = nullptr);

private:
    void attempt();

    ClosingDesk &m_desk;
    QDate m_day;
    QLineEdit *m_pin;
    QLineEdit *m_reason;
    QLabel *m_message;
};
