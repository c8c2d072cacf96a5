#include "SystemInfoLauncher.h"

#include "MessageDialog.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace SystemInfoLauncher {
namespace {

ProgramFinder &installedFinder()
{
    static ProgramFinder finder;
    return finder;
}

QString findTool()
{
    static const QStringList tools{QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"),
                                   QStringLiteral("kinfocenter"), QStringLiteral("lshw-gtk"),
                                   QStringLiteral("gnome-system-monitor")};
    const ProgramFinder &finder = installedFinder();
    for (const QString &tool : tools) {
        const QString path = finder ? finder(tool) : QStandardPaths::findExecutable(tool);
        if (!path.isEmpty())
            return path;
    }
    return QString();
}

}

void StartSysInfo(QWidget *parent)
{
    const QString path = findTool();
    if (!path.isEmpty() && QProcess::startDetached(path, {}))
        return;
    MessageDialog::show(parent,
                        {QStringLiteral("Kavo"),
                         QStringLiteral(u"Systeminformationsprogramm zur Zeit nicht verfügbar.")});
}

void setProgramFinder(ProgramFinder finder)
{
    installedFinder() = std::move(finder);
}

}
