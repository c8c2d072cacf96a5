#pragma once

#include "XlsWriter.h"

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// Copies both station tables into the workbooks zeitclient1.xls (sheet client1)
// and zeitclient2.xls (sheet client2) in the program directory.
//
// An existing workbook is never written over: finding one counts as a failed copy.
// The first failed copy removes both workbooks and runs both copies once more, so a
// repeated export replaces both files. Each workbook is written to a temporary
// file beside it and renamed when complete, so no half-written workbook appears
// under its name. The operator is told once that the workbooks were made, or, when
// a copy failed again, which workbook could not be written.
class ExcelExport
{
public:
    // The station's table, or nothing when it can't be read.
    using TableSource = std::function<std::optional<XlsSheetData>(int station)>;

    ExcelExport(QString programDir, TableSource source, QWidget *dialogParent = nullptr);

    void exportExcel();

private:
    QString workbookPath(int station) const;
    bool writeWorkbook(int station) const;
    void removeWorkbooks() const;

    QString m_programDir;
    TableSource m_source;
    QWidget *m_dialogParent;
};
