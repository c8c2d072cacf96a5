#include "PcInfoWindow.h"

#include "StationInfo.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QVBoxLayout>

#include <map>

PcInfoWindow *PcInfoWindow::showOrRaise(int station, QWidget *parent)
{
    static std::map<int, QPointer<PcInfoWindow>> openWindows;
    QPointer<PcInfoWindow> &window = openWindows[station];
    if (!window)
        window = new PcInfoWindow(station, parent);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

PcInfoWindow::PcInfoWindow(int station, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmPCInfo%1").arg(station));
    setWindowTitle(QStringLiteral("Client%1 PC Info").arg(station));
    resize(360, 160);

    auto *info = new QPlainTextEdit(this);
    info->setObjectName(QStringLiteral("tfInfo"));
    info->setReadOnly(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(info);

    const QString name = StationInfo::computerName(station);
    const QString text = StationInfo::QueryStationInfo(name);
    info->setPlainText(text.isEmpty() ? StationInfo::unresolvedText(name) : text);
}
