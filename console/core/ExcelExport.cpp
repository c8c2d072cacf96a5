#include "ExcelExport.h"

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

ExcelExport::ExcelExport(QString programDir, TableSource source)
    : m_programDir(std::move(programDir))
    , m_source(std::move(source))
{
}

QString ExcelExport::workbookPath(int station) const
{
    return QDir(m_programDir).filePath(workbookName(station));
}

QList<ExcelExport::Notice> ExcelExport::exportExcel() const
{
    if (!writeWorkbook(1, Existing::Refuse) || !writeWorkbook(2, Existing::Refuse)) {
        QList<Notice> failures;
        for (const int station : stations) {
            if (!writeWorkbook(station, Existing::Replace))
                failures.append({Notice::Failed, QStringLiteral("Kavo"),
                                 QStringLiteral("Die Datei '%1' konnte nicht geschrieben werden.")
                                     .arg(workbookName(station))});
        }
        if (!failures.isEmpty())
            return failures;
    }
    return {{Notice::Done, QStringLiteral("Kavo"),
             QStringLiteral("Die Excel Datei wurde im Programmverzeichnis unter dem Namen "
                            "'zeitclientX.xls' abgelegt.")}};
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
