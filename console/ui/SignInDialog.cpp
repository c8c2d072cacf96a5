#include "SignInDialog.h"

#include "FormParts.h"
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
    , m_pin(FormParts::pinField(this, "tfPin"))
    , m_message(FormParts::messageLine(this))
{
    setObjectName(QStringLiteral("frmAnmeldung"));
    setWindowTitle(QStringLiteral("Anmeldung"));
    m_name->setObjectName(QStringLiteral("cmbBetreiber"));
    m_name->addItems(names);
    m_name->addItem(OperatorRoster::ownerName);
    auto *buttons = new QDialogButtonBox(this);
    FormParts::acceptButton(buttons, "cmdAnmelden", QStringLiteral("&Anmelden"))->setDefault(true);
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
