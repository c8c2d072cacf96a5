#include "OperatorsDialog.h"

#include "FormParts.h"
#include "MessageDialog.h"
#include "UsageDatabase.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

OperatorsDialog::OperatorsDialog(UsageDatabase &database, QWidget *parent)
    : QDialog(parent)
    , m_database(database)
    , m_ownerPin(FormParts::pinField(this, "tfInhaberPin"))
    , m_operators(new QListWidget(this))
    , m_name(new QLineEdit(this))
    , m_pin(FormParts::pinField(this, "tfBetreiberPin"))
{
    setObjectName(QStringLiteral("frmBetreiber"));
    setWindowTitle(QStringLiteral("Betreiber und Rechte"));
    m_operators->setObjectName(QStringLiteral("lstBetreiber"));
    m_name->setObjectName(QStringLiteral("tfBetreiberName"));

    auto *owner = new QGroupBox(QStringLiteral("Inhaber"), this);
    auto *ownerLayout = new QFormLayout(owner);
    ownerLayout->addRow(new QLabel(
        QStringLiteral("Nur mit der PIN des Inhabers: Optionen, Betreiber, Stornos, Wiedereröffnen"
                       " eines Tagesabschlusses, Export der Belege. Betreiber starten und stoppen,"
                       " korrigieren Startzeiten um höchstens 5 Minuten und schließen ihre"
                       " Schicht ab."),
        owner));
    qobject_cast<QLabel *>(ownerLayout->itemAt(0)->widget())->setWordWrap(true);
    QPushButton *setOwner
        = FormParts::button(owner, "cmdInhaberPin", QStringLiteral("PIN &setzen"));
    ownerLayout->addRow(QStringLiteral("PIN des Inhabers:"), m_ownerPin);
    ownerLayout->addRow(setOwner);

    auto *operators = new QGroupBox(QStringLiteral("Betreiber"), this);
    auto *operatorsLayout = new QFormLayout(operators);
    QPushButton *add
        = FormParts::button(operators, "cmdHinzufuegen", QStringLiteral("&Hinzufügen"));
    QPushButton *remove
        = FormParts::button(operators, "cmdEntfernen", QStringLiteral("&Entfernen"));
    operatorsLayout->addRow(m_operators);
    operatorsLayout->addRow(QStringLiteral("Name:"), m_name);
    operatorsLayout->addRow(QStringLiteral("PIN (mind. 4 Ziffern):"), m_pin);
    auto *row = new QHBoxLayout;
    row->addWidget(add);
    row->addWidget(remove);
    operatorsLayout->addRow(row);

    QPushButton *close = FormParts::button(this, "cmdSchliessen", QStringLiteral("S&chließen"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(owner);
    layout->addWidget(operators);
    layout->addWidget(close, 0, Qt::AlignRight);

    connect(setOwner, &QPushButton::clicked, this, &OperatorsDialog::setOwnerPin);
    connect(add, &QPushButton::clicked, this, &OperatorsDialog::addOperator);
    connect(remove, &QPushButton::clicked, this, &OperatorsDialog::removeOperator);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    fillList();
}

void OperatorsDialog::fillList()
{
    m_operators->clear();
    m_operators->addItems(m_database.roster().operatorNames());
    m_operators->setEnabled(m_database.roster().hasOwner());
    m_name->setEnabled(m_database.roster().hasOwner());
    m_pin->setEnabled(m_database.roster().hasOwner());
}

void OperatorsDialog::tell(const QString &text)
{
    MessageDialog::show(this, {QStringLiteral("Kavo"), text, QMessageBox::Warning});
}

void OperatorsDialog::setOwnerPin()
{
    if (const Failure failure = m_database.setOwnerPin(m_ownerPin->text()))
        tell(failure.text());
    m_ownerPin->clear();
    fillList();
}

void OperatorsDialog::addOperator()
{
    if (const Failure failure = m_database.roster().setOperator(m_name->text(), m_pin->text()))
        tell(failure.text());
    else
        m_name->clear();
    m_pin->clear();
    fillList();
}

void OperatorsDialog::removeOperator()
{
    if (const QListWidgetItem *item = m_operators->currentItem()) {
        if (const Failure failure = m_database.roster().removeOperator(item->text()))
            tell(failure.text());
    }
    fillList();
}
