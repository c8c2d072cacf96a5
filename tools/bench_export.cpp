// Times the spreadsheet export of two station tables of 16,384 records each, with
// the records served from memory: once into an empty directory and once more
// replacing the workbooks of the first run.
#include "Clock.h"
#include "ExcelExport.h"
#include "MessageDialog.h"
#include "TextFormats.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {
constexpr int recordsPerStation = 16384;

XlsSheetData stationTable(int station)
{
    XlsSheetData table;
    for (const char *field : {"start", "ende", "dauer", "kosten", "datum"})
        table.fieldNames.append(
            QStringLiteral("client%1%2").arg(station).arg(QLatin1String(field)));
    table.rows.reserve(recordsPerStation);
    for (int record = 0; record < recordsPerStation; ++record) {
        const QTime start = QTime(8, 0).addSecs(record * 5);
        table.rows.append({TextFormats::timeOfDay(start),
                           TextFormats::timeOfDay(start.addSecs(1830)), QStringLiteral("00:30:30"),
                           2.5 + record % 40 * 0.25, record % 12 + 1});
    }
    return table;
}
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        out << "no temporary directory\n";
        return 1;
    }
    const XlsSheetData tables[] = {stationTable(1), stationTable(2)};
    QStringList messages;
    MessageDialog::setHandler([&messages](const MessageDialog::Request &request) {
        messages.append(request.text);
        return QMessageBox::Ok;
    });

    ExcelExport exporter(dir.path(), [&tables](int station) { return tables[station - 1]; });
    qint64 slowestMs = 0;
    for (const char *run : {"new", "replacing"}) {
        const qint64 startMs = Clock::current().elapsedMs();
        exporter.exportExcel();
        const qint64 elapsedMs = Clock::current().elapsedMs() - startMs;
        slowestMs = std::max(slowestMs, elapsedMs);
        out << "Export of " << recordsPerStation << " records per station (" << run
            << "): " << elapsedMs << " ms\n";
    }
    for (const char *name : {"zeitclient1.xls", "zeitclient2.xls"})
        out << name << ": " << QFileInfo(dir.filePath(QLatin1String(name))).size() << " bytes\n";
    out << "Messages shown: " << messages.size() << '\n';
    const bool allDone = messages.size() == 2 && messages.count(messages.first()) == 2;
    return allDone && slowestMs < 1000 ? 0 : 1;
}
