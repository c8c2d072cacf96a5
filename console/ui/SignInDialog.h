#pragma once

#include "OnDuty.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class SignIn;

// frmAnmeldung: who is on duty, by name and PIN. Stays open until a name and PIN
// sign in or the dialog is closed; a wrong PIN and the lock are shown in it.
class SignInDialog : public QDialog
{
    Q_OBJECT

public:
    SignInDialog(SignIn &signIn, const QStringList &names, QWidget *parent = nullptr);

    const OnDuty &onDuty() const { return m_onDuty; }

private:
    void attempt();

    SignIn &m_signIn;
    QComboBox *m_name;
    QLineEdit *m_pin;
    QLabel *m_message;
    OnDuty m_onDuty;
};
