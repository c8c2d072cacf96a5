#include "SignInDialog.h"

#include "OperatorRoster.h"
#include "SignIn.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

SignInDialog::SignInDialog(SignIn &signIn, const QStringList &names, QWidget *parent)
    : QDialog(parent)
    , m_signIn(signIn)
    , m_name(new QComboBox(this))
    , m_pin(new QLineEdit(this))
    , m_message(new QLabel(this))
{
    setObjectName(QStringLiteral("frmAnmeldung"));
    setWindowTitle(QStringLiteral("Anmeldung"));
    m_name->setObjectName(QStringLiteral("cmbBetreiber"));
    m_name->addItems(names);
    m_name->addItem(OperatorRoster::ownerName);
    m_pin->setObjectName(QStringLiteral("tfPin"));
    m_pin->setEchoMode(QLineEdit::Password);
    m_message->setObjectName(QStringLiteral("lblMeldung"));
    m_message->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *signInButton
        = buttons->addButton(QStringLiteral("&Anmelden"), QDialogButtonBox::AcceptRole);
    signInButton->setObjectName(QStringLiteral("cmdAnmelden"));
    signInButton->setDefault(true);
    auto *layout = new QFormLayout(this);
    layout->addRow(new QLabel(QStringLiteral("Wer hat Dienst?"), this));
    layout->addRow(QStringLiteral("&Name:"), m_name);
    layout->addRow(QStringLiteral("&PIN:"), m_pin);
    layout->addRow(m_message);
    layout->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &SignInDialog::attempt);
    m_pin->setFocus();
}

void SignInDialog::attempt()
{
    const Result<OnDuty> who = m_signIn.attempt(m_name->currentText(), m_pin->text());
    m_pin->clear();
    if (!who.hasValue()) {
        m_message->setText(who.failure().text());
        return;
    }
    m_onDuty = who.value();
    accept();
}
