#include "TariffHistoryDialog.h"

#include "TariffHistory.h"
#include "TextFormats.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

TariffHistoryDialog::TariffHistoryDialog(const TariffHistory &history, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmTarifverlauf"));
    setWindowTitle(QStringLiteral("Tarifverlauf"));
    auto *list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("lstTarife"));
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QStringLiteral("Ab"), QStringLiteral("Gebühr"),
                           QStringLiteral("über 30 min."), QStringLiteral("über 60 min."),
                           QStringLiteral("Gesetzt von")});
    for (const TariffPeriod &period : history.all())
        new QTreeWidgetItem(list,
                            {TextFormats::date(period.from.date()) + QLatin1Char(' ')
                                 + TextFormats::timeOfDay(period.from.time()),
                             period.tariffs.base, period.tariffs.over30, period.tariffs.over60,
                             period.operatorName});
    list->header()->resizeSections(QHeaderView::ResizeToContents);
    list->setMinimumSize(520, 240);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}
