#include "ExcelExport.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <utility>

namespace {
QString workbookName(int station)
{
    return QStringLiteral("zeitclient%1.xls").arg(station);
}

QString sheetName(int station)
{
    return QStringLiteral("client%1").arg(station);
}
}

ExcelExport::ExcelExport(QString programDir, TableSource source, int stationCount)
    : m_programDir(std::move(programDir))
    , m_source(std::move(source))
    , m_stationCount(stationCount)
{
}

QString ExcelExport::workbookPath(int station) const
{
    return QDir(m_programDir).filePath(workbookName(station));
}

QList<ExcelExport::Notice> ExcelExport::exportExcel() const
{
    if (writeAll(Existing::Refuse)) {
        QList<Notice> failures;
        for (int station = 1; station <= m_stationCount; ++station) {
            if (const Failure failure = writeWorkbook(station, Existing::Replace))
                failures.append({Notice::Failed, QStringLiteral("Kavo"), failure.text()});
        }
        if (!failures.isEmpty())
            return failures;
    }
    return {{Notice::Done, QStringLiteral("Kavo"),
             QStringLiteral("Die Excel Datei wurde im Programmverzeichnis unter dem Namen "
                            "'zeitclientX.xls' abgelegt.")}};
}

// Stops at the first failed copy.
Failure ExcelExport::writeAll(Existing existing) const
{
    for (int station = 1; station <= m_stationCount; ++station) {
        if (Failure failure = writeWorkbook(station, existing))
            return failure;
    }
    return Failure::none();
}

// A workbook found where none may be replaced fails as one that can't be written.
Failure ExcelExport::writeWorkbook(int station, Existing existing) const
{
    const QString path = workbookPath(station);
    const Failure failure(QStringLiteral("Die Datei '%1' konnte nicht geschrieben werden.")
                              .arg(workbookName(station)));
    if (existing == Existing::Refuse && QFileInfo::exists(path))
        return failure;
    const std::optional<XlsSheetData> table = m_source(station);
    if (!table)
        return failure;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure;
    file.write(XlsWriter::workbook({{sheetName(station), *table}}));
    return file.commit() ? Failure::none() : failure;
}
