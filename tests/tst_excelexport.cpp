#include "ConsoleFixture.h"
#include "ExcelExport.h"
#include "TestSupport.h"
#include "TextFormats.h"
#include "WorkbookViewer.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>
#include <optional>

namespace {
const QString doneText = QStringLiteral(
    "Die Excel Datei wurde im Programmverzeichnis unter dem Namen 'zeitclientX.xls' abgelegt.");

QString notWrittenText(int station)
{
    return QStringLiteral("Die Datei 'zeitclient%1.xls' konnte nicht geschrieben werden.")
        .arg(station);
}

QStringList texts(const QList<ExcelExport::Notice> &notices)
{
    QStringList texts;
    for (const ExcelExport::Notice &notice : notices)
        texts.append(notice.text);
    return texts;
}

// A station table as the usage database hands it over: three texts, the fee in
// euros and the month number.
XlsSheetData stationTable(int station, int records, double firstFee = 1.05)
{
    XlsSheetData table;
    for (const char *field : {"start", "ende", "dauer", "kosten", "datum"})
        table.fieldNames.append(
            QStringLiteral("client%1%2").arg(station).arg(QLatin1String(field)));
    for (int record = 0; record < records; ++record) {
        const QTime start = QTime(8, 0).addSecs(record * 37);
        table.rows.append({TextFormats::timeOfDay(start),
                           TextFormats::timeOfDay(start.addSecs(630)), QStringLiteral("00:10:30"),
                           firstFee + record % 100, record % 12 + 1});
    }
    return table;
}

// The rows a reader should find: field names, then the records, numbers as doubles.
QList<QVariantList> expectedRows(const XlsSheetData &table, qsizetype first, qsizetype count)
{
    QList<QVariantList> rows{QVariantList(table.fieldNames.begin(), table.fieldNames.end())};
    for (const QVariantList &record : table.rows.mid(first, count)) {
        QVariantList row;
        for (const QVariant &value : record)
            row.append(value.typeId() == QMetaType::QString ? value : QVariant(value.toDouble()));
        rows.append(row);
    }
    return rows;
}
}

// The workbooks are read back by xlrd, an independent reader, through tests/xls_dump.py.
class ExcelExportTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::map<int, std::optional<XlsSheetData>> m_tables;

    QString path(const QString &name) const { return m_dir->filePath(name); }

    QList<ExcelExport::Notice> exportNow(const QString &programDir)
    {
        return ExcelExport(programDir, [this](int station) { return m_tables[station]; })
            .exportExcel();
    }
    QList<ExcelExport::Notice> exportNow() { return exportNow(m_dir->path()); }

    // Sheet name and cell values per sheet, as xlrd reads them.
    static QList<std::pair<QString, QList<QVariantList>>> readWorkbook(const QString &file)
    {
        QProcess python;
        python.start(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(KAVO_TESTS_DIR "/xls_dump.py"), QStringLiteral("workbook"), file});
        if (!python.waitForFinished(120000) || python.exitCode() != 0) {
            qWarning() << python.readAllStandardError();
            return {};
        }
        const QJsonObject book = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
        if (!book.value(QStringLiteral("log")).toString().isEmpty())
            return {};
        QList<std::pair<QString, QList<QVariantList>>> sheets;
        for (const QJsonValue sheet : book.value(QStringLiteral("sheets")).toArray()) {
            QList<QVariantList> rows;
            for (const QJsonValue row : sheet.toObject().value(QStringLiteral("rows")).toArray()) {
                QVariantList values;
                for (const QJsonValue cell : row.toArray())
                    values.append(cell.toArray().at(1).toVariant());
                rows.append(values);
            }
            sheets.append({sheet.toObject().value(QStringLiteral("name")).toString(), rows});
        }
        return sheets;
    }

    void verifyWorkbook(int station)
    {
        const XlsSheetData &table = *m_tables[station];
        const auto sheets = readWorkbook(path(QStringLiteral("zeitclient%1.xls").arg(station)));
        QCOMPARE(sheets.size(), 1);
        QCOMPARE(sheets.at(0).first, QStringLiteral("client%1").arg(station));
        QCOMPARE(sheets.at(0).second, expectedRows(table, 0, table.rows.size()));
    }

    QStringList filesInProgramDir() const
    {
        return QDir(m_dir->path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_tables = {{1, stationTable(1, 3)}, {2, stationTable(2, 2, 0.5)}};
    }

    void firstExportMakesBothWorkbooks()
    {
        const QList<ExcelExport::Notice> notices = exportNow();
        QCOMPARE(notices.size(), 1);
        QCOMPARE(notices.first().kind, ExcelExport::Notice::Done);
        QCOMPARE(notices.first().title, QStringLiteral("Kavo"));
        QCOMPARE(notices.first().text, doneText);
        verifyWorkbook(1);
        verifyWorkbook(2);
        QCOMPARE(
            filesInProgramDir(),
            QStringList({QStringLiteral("zeitclient1.xls"), QStringLiteral("zeitclient2.xls")}));
    }

    void everyStationHasAWorkbookOfItsOwn()
    {
        m_tables[3] = stationTable(3, 4, 2.0);
        const auto exportOfThree = [this] {
            return ExcelExport(
                       m_dir->path(), [this](int station) { return m_tables[station]; }, 3)
                .exportExcel();
        };
        QCOMPARE(texts(exportOfThree()), QStringList{doneText});
        verifyWorkbook(3);
        m_tables[3] = stationTable(3, 1);
        QCOMPARE(texts(exportOfThree()), QStringList{doneText});
        verifyWorkbook(3);
        QCOMPARE(filesInProgramDir().size(), 3);
    }

    void repeatedExportReplacesBothWorkbooks_data()
    {
        QTest::addColumn<QStringList>("leftOver");
        QTest::newRow("both from the last export") << QStringList{};
        QTest::newRow("only the second left") << QStringList{QStringLiteral("zeitclient1.xls")};
        QTest::newRow("only the first left") << QStringList{QStringLiteral("zeitclient2.xls")};
    }
    void repeatedExportReplacesBothWorkbooks()
    {
        QFETCH(QStringList, leftOver);
        exportNow();
        for (const QString &name : leftOver)
            QVERIFY(QFile::remove(path(name)));
        m_tables = {{1, stationTable(1, 7, 2.0)}, {2, stationTable(2, 5, 3.0)}};

        QCOMPARE(texts(exportNow()), QStringList{doneText});
        verifyWorkbook(1);
        verifyWorkbook(2);
        QCOMPARE(filesInProgramDir().size(), 2);
    }

    void stationWithoutRecordsGivesHeaderOnly()
    {
        m_tables[2] = stationTable(2, 0);
        QCOMPARE(texts(exportNow()), QStringList{doneText});
        verifyWorkbook(2);
    }

    // Every sheet starts with the field names, so the first holds 16,383 records.
    void manyRecordsContinueOnASecondSheet()
    {
        m_tables[1] = stationTable(1, 20000);
        QCOMPARE(texts(exportNow()), QStringList{doneText});
        const XlsSheetData &table = *m_tables[1];
        const auto sheets = readWorkbook(path(QStringLiteral("zeitclient1.xls")));
        QCOMPARE(sheets.size(), 2);
        QCOMPARE(sheets.at(0).first, QStringLiteral("client1"));
        QCOMPARE(sheets.at(1).first, QStringLiteral("client1 (2)"));
        QCOMPARE(sheets.at(0).second.size(), 16384);
        QCOMPARE(sheets.at(1).second.size(), 3618);
        QCOMPARE(sheets.at(0).second, expectedRows(table, 0, 16383));
        QCOMPARE(sheets.at(1).second, expectedRows(table, 16383, 3617));
    }

    void unwritableWorkbookIsNamedAndNotClaimed()
    {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("zeitclient1.xls")));
        const QList<ExcelExport::Notice> notices = exportNow();
        QCOMPARE(texts(notices), QStringList{notWrittenText(1)});
        QCOMPARE(notices.first().kind, ExcelExport::Notice::Failed);
        QCOMPARE(notices.first().title, QStringLiteral("Kavo"));
        QVERIFY(QFileInfo(path(QStringLiteral("zeitclient1.xls"))).isDir());
        verifyWorkbook(2);
        QCOMPARE(filesInProgramDir().size(), 2);
    }

    void unreadableTableIsNamedAndNotWritten()
    {
        m_tables[2] = std::nullopt;
        QCOMPARE(texts(exportNow()), QStringList{notWrittenText(2)});
        verifyWorkbook(1);
        QCOMPARE(filesInProgramDir(), QStringList{QStringLiteral("zeitclient1.xls")});
    }

    void failedRepeatKeepsTheOldWorkbook()
    {
        exportNow();
        const auto first = readWorkbook(path(QStringLiteral("zeitclient2.xls")));
        m_tables[2] = std::nullopt;
        QCOMPARE(texts(exportNow()), QStringList{notWrittenText(2)});
        QVERIFY(readWorkbook(path(QStringLiteral("zeitclient2.xls"))) == first);
        QCOMPARE(filesInProgramDir().size(), 2);
    }

    void programForWorkbooksIsFoundByItsDesktopEntry()
    {
        const QString folder = path(QStringLiteral("applications"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/vendor")));
        QVERIFY(!WorkbookViewer::programInstalled({folder}));
        QFile entry(folder + QStringLiteral("/vendor/calc.desktop"));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nMimeType=text/csv;application/vnd.ms-excel;\n");
        entry.close();
        QVERIFY(WorkbookViewer::programInstalled({path(QStringLiteral("fehlt")), folder}));
    }

    void missingProgramDirectoryNamesBothWorkbooks()
    {
        const QString missing = path(QStringLiteral("fehlt"));
        QCOMPARE(texts(exportNow(missing)), QStringList({notWrittenText(1), notWrittenText(2)}));
        QVERIFY(!QFileInfo::exists(missing));
        QVERIFY(filesInProgramDir().isEmpty());
    }

    // The window shows every notice in its own box, a failure as a warning.
    void windowShowsTheNotices()
    {
        ConsoleFixture fixture;
        QVERIFY(fixture.start());
        const QDir programDir(fixture.programDir());
        QVERIFY(programDir.mkdir(QStringLiteral("zeitclient2.xls")));
        MessageRecorder messages;
        auto *exportAction = fixture.window().findChild<QAction *>(QStringLiteral("mnuFileExport"));
        exportAction->trigger();
        QCOMPARE(messages.texts(), QStringList{notWrittenText(2)});
        QCOMPARE(messages.shown().first().title, QStringLiteral("Kavo"));
        QCOMPARE(messages.shown().first().icon, QMessageBox::Warning);

        QVERIFY(programDir.rmdir(QStringLiteral("zeitclient2.xls")));
        messages.clear();
        exportAction->trigger();
        QCOMPARE(messages.shown().size(), 1);
        const MessageDialog::Request &message = messages.shown().first();
        QCOMPARE(message.title, QStringLiteral("Kavo"));
        QCOMPARE(message.text, doneText);
        QCOMPARE(message.icon, QMessageBox::NoIcon);
        QCOMPARE(message.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
};

QTEST_MAIN(ExcelExportTest)
#include "tst_excelexport.moc"
