#include "ExcelExport.h"

#include "MessageDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <utility>

namespace {
constexpr int stations[] = {1, 2};

QString workbookName(int station)
{
    return QStringLiteral("zeitclient%1.xls").arg(station);
}

QString sheetName(int station)
{
    return QStringLiteral("client%1").arg(station);
}
}

ExcelExport::ExcelExport(QString programDir, TableSource source, QWidget *dialogParent)
    : m_programDir(std::move(programDir))
    , m_source(std::move(source))
    , m_dialogParent(dialogParent)
{
}

QString ExcelExport::workbookPath(int station) const
{
    return QDir(m_programDir).filePath(workbookName(station));
}

void ExcelExport::exportExcel()
{
    if (!writeWorkbook(1, Existing::Refuse) || !writeWorkbook(2, Existing::Refuse)) {
        bool allWritten = true;
        for (const int station : stations) {
            if (writeWorkbook(station, Existing::Replace))
                continue;
            allWritten = false;
            MessageDialog::show(m_dialogParent,
                                {QStringLiteral("Kavo"),
                                 QStringLiteral("Die Datei '%1' konnte nicht geschrieben werden.")
                                     .arg(workbookName(station)),
                                 QMessageBox::Warning});
        }
        if (!allWritten)
            return;
    }
    MessageDialog::show(
        m_dialogParent,
        {QStringLiteral("Kavo"),
         QStringLiteral("Die Excel Datei wurde im Programmverzeichnis unter dem Namen "
                        "'zeitclientX.xls' abgelegt.")});
}

bool ExcelExport::writeWorkbook(int station, Existing existing) const
{
    const QString path = workbookPath(station);
    if (existing == Existing::Refuse && QFileInfo::exists(path))
        return false;
    const std::optional<XlsSheetData> table = m_source(station);
    if (!table)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(XlsWriter::workbook({{sheetName(station), *table}}));
    return file.commit();
}
