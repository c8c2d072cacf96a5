#include "WorkbookViewer.h"

#include "MessageDialog.h"

#include <QDesktopServices>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

namespace WorkbookViewer {
namespace {
const QByteArray excelType = QByteArrayLiteral("application/vnd.ms-excel");

bool offersExcel(const QString &desktopEntry)
{
    QFile file(desktopEntry);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith("MimeType=") && line.mid(9).split(';').contains(excelType))
            return true;
    }
    return false;
}
}

bool programInstalled(const QStringList &applicationFolders)
{
    for (const QString &folder : applicationFolders) {
        QDirIterator entries(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                             QDirIterator::Subdirectories);
        while (entries.hasNext()) {
            if (offersExcel(entries.next()))
                return true;
        }
    }
    return false;
}

void open(const QString &path, QWidget *parent)
{
    if (programInstalled(QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation))
        && QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return;
    MessageDialog::show(
        parent,
        {QStringLiteral("Kavo"),
         QStringLiteral(u"Auf diesem PC ist kein Programm für Excel-Dateien eingerichtet. "
                        u"Bitte ein Tabellenprogramm installieren, zum Beispiel "
                        u"LibreOffice Calc: sudo apt install libreoffice-calc"),
         QMessageBox::Information});
}

}
