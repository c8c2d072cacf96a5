#pragma once

#include "Failure.h"
#include "XlsWriter.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Copies every station's table into its workbook in the program directory:
// zeitclient1.xls (sheet client1), zeitclient2.xls (sheet client2), and so on.
//
// The first copy never writes over a workbook: finding one counts as a failed copy.
// The first failed copy runs every copy once more, now replacing the workbooks, so
// a repeated export replaces all the files. Each workbook is written to a temporary
// file beside it and renamed over the old one only when complete, so no
// half-written workbook appears under its name and a failed copy keeps the old one.
// The export says once that the workbooks were made, or, when a copy failed again,
// which workbook could not be written; the window shows it.
class ExcelExport
{
public:
    // The station's table, or nothing when it can't be read.
    using TableSource = std::function<std::optional<XlsSheetData>(int station)>;

    // One message to the operator; a failure is shown as a warning.
    struct Notice
    {
        enum Kind { Done, Failed };
        Kind kind;
        QString title;
        QString text;
    };

    // Exports stations 1 to `stationCount`.
    ExcelExport(QString programDir, TableSource source, int stationCount = 2);

    // The messages in the order they are to be shown.
    QList<Notice> exportExcel() const;

private:
    QString workbookPath(int station) const;
    enum class Existing { Refuse, Replace };
    Failure writeAll(Existing existing) const;
    Failure writeWorkbook(int station, Existing existing) const;

    QString m_programDir;
    TableSource m_source;
    int m_stationCount;
};
