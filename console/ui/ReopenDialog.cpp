#include "ReopenDialog.h"

#include "ClosingDesk.h"
#include "FormParts.h"
#include "TextFormats.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

ReopenDialog::ReopenDialog(ClosingDesk &desk, const QDate &day, QWidget *parent)
    : QDialog(parent)
    , m_desk(desk)
    , m_day(day)
    , m_pin(FormParts::pinField(this, "tfPin"))
    , m_reason(new QLineEdit(this))
    , m_message(FormParts::messageLine(this))
{
    setObjectName(QStringLiteral("frmWiederOeffnen"));
    setWindowTitle(QStringLiteral("Abschluss wieder öffnen"));
    m_reason->setObjectName(QStringLiteral("tfGrund"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    FormParts::acceptButton(buttons, "cmdWiederOeffnen", QStringLiteral("&Wieder öffnen"))
        ->setDefault(true);
    auto *layout = new QFormLayout(this);
    layout->addRow(new QLabel(QStringLiteral("Der Abschluss des %1 wird wieder geöffnet; er bleibt"
                                             " mit dem Grund aufgezeichnet.")
                                  .arg(TextFormats::date(day)),
                              this));
    if (m_desk.reopenNeedsOwnerPin())
        layout->addRow(QStringLiteral("&PIN des Inhabers:"), m_pin);
    else
        m_pin->hide();
    layout->addRow(QStringLiteral("&Grund:"), m_reason);
    layout->addRow(m_message);
    layout->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ReopenDialog::attempt);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    (m_pin->isHidden() ? m_reason : m_pin)->setFocus();
}

void ReopenDialog::attempt()
{
    const Failure failure = m_desk.reopenDay(m_day, m_pin->text(), m_reason->text()).failure();
    m_pin->clear();
    if (failure) {
        m_message->setText(failure.text());
        return;
    }
    accept();
}
