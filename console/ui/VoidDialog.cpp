#include "VoidDialog.h"

#include "Clock.h"
#include "DayRecords.h"
#include "FormParts.h"
#include "TextFormats.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace {
QString stateText(DayRecord::State state)
{
    switch (state) {
    case DayRecord::Voided:
        return QStringLiteral("storniert");
    case DayRecord::CounterRecord:
        return QStringLiteral("Storno");
    default:
        return QString();
    }
}
}

VoidDialog::VoidDialog(const DayRecords &records, int stations, QWidget *parent)
    : QDialog(parent)
    , m_records(records)
    , m_station(new QComboBox(this))
    , m_day(new QDateEdit(Clock::current().now().date(), this))
    , m_list(new QTreeWidget(this))
    , m_reason(new QLineEdit(this))
    , m_message(FormParts::messageLine(this))
{
    setObjectName(QStringLiteral("frmStornieren"));
    setWindowTitle(QStringLiteral("Stornieren"));
    m_station->setObjectName(QStringLiteral("cmbStation"));
    for (int station = 1; station <= stations; ++station)
        m_station->addItem(QStringLiteral("Station %1").arg(station), station);
    m_day->setObjectName(QStringLiteral("dtTag"));
    m_day->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_day->setCalendarPopup(true);
    m_list->setObjectName(QStringLiteral("lstBelege"));
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({QStringLiteral("Nr."), QStringLiteral("Start"), QStringLiteral("Ende"),
                             QStringLiteral("Entgelt"), QStringLiteral("Bediener"),
                             QStringLiteral("Status")});
    m_list->setMinimumSize(520, 260);
    m_reason->setObjectName(QStringLiteral("tfGrund"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    m_void = FormParts::acceptButton(buttons, "cmdStornieren", QStringLiteral("&Stornieren"));
    auto *layout = new QFormLayout(this);
    layout->addRow(QStringLiteral("S&tation:"), m_station);
    layout->addRow(QStringLiteral("&Tag:"), m_day);
    layout->addRow(m_list);
    layout->addRow(QStringLiteral("&Grund:"), m_reason);
    layout->addRow(m_message);
    layout->addRow(buttons);
    connect(m_station, &QComboBox::currentIndexChanged, this, &VoidDialog::list);
    connect(m_day, &QDateEdit::dateChanged, this, &VoidDialog::list);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &VoidDialog::updateButton);
    connect(m_reason, &QLineEdit::textChanged, this, &VoidDialog::updateButton);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    list();
}

int VoidDialog::station() const
{
    return m_station->currentData().toInt();
}

qint64 VoidDialog::number() const
{
    const QList<QTreeWidgetItem *> picked = m_list->selectedItems();
    return picked.isEmpty() ? 0 : picked.first()->data(0, Qt::UserRole).toLongLong();
}

QString VoidDialog::reason() const
{
    return m_reason->text().trimmed();
}

void VoidDialog::list()
{
    m_list->clear();
    const Result<QList<DayRecord>> records = m_records.of(station(), m_day->date());
    m_message->setText(records.hasValue() ? QString() : records.failure().text());
    for (const DayRecord &record : records.valueOr({})) {
        auto *item = new QTreeWidgetItem(m_list,
                                         {QString::number(record.number), record.start, record.stop,
                                          TextFormats::money(record.feeUnits), record.operatorName,
                                          stateText(record.state)});
        item->setData(0, Qt::UserRole, record.number);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        if (!record.mayVoid())
            item->setFlags(Qt::NoItemFlags);
    }
    if (records.hasValue() && records->isEmpty())
        m_message->setText(QStringLiteral("An diesem Tag hat die Station keine Belege."));
    m_list->header()->resizeSections(QHeaderView::ResizeToContents);
    updateButton();
}

void VoidDialog::updateButton()
{
    m_void->setEnabled(number() > 0 && !reason().isEmpty());
}
