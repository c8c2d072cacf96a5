#include "TakingsRange.h"
#include "TakingsWorkbook.h"
#include "TestSupport.h"
#include "UsageDatabaseCase.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace {
QDateTime local(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

// The sheets of an .xlsx workbook as openpyxl, an independent reader, reads them
// through tests/xlsx_dump.py.
QJsonArray readWorkbook(const QString &file)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(KAVO_TESTS_DIR "/xlsx_dump.py"), file});
    if (!python.waitForFinished(120000) || python.exitCode() != 0) {
        qWarning() << python.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput())
        .object()
        .value(QStringLiteral("sheets"))
        .toArray();
}

// A cell's value and number format as the reader gave them.
QVariantList cell(const QJsonArray &rows, int row, int column)
{
    return rows.at(row).toArray().at(column).toArray().toVariantList();
}
}

// The takings over a range of days, by the day of each record's stop. The test runs
// in Europe/Berlin.
class TakingsRangeTest : public QObject, UsageDatabaseCase
{
    Q_OBJECT

private:
    // A period of 10 minutes (its duration text 00:10:30) stopped at `stop`, moved
    // from station `origin` (0: none) and paused for `paused` seconds.
    bool recordDated(int station, const QDateTime &stop, const QString &fee, int origin = 0,
                     qint64 paused = 0)
    {
        StoppedPeriod stopped
            = stoppedPeriod(station, recordWithFee(fee), 600, stop.date().month());
        stopped.period.originStation = origin;
        stopped.period.pausedSeconds = paused;
        stopped.startMoment = stop.addSecs(-600);
        stopped.stopMoment = stop;
        return writtenNow(m_database->recorder().recordPeriod(stopped));
    }

    // Records around a new year and the ends of two months, one undated.
    void recordAroundNewYear()
    {
        QVERIFY(recordDated(1, local(2026, 12, 30, 23, 59, 59), QStringLiteral("1,00 €")));
        QVERIFY(recordDated(2, local(2026, 12, 31, 23, 55), QStringLiteral("2,00 €")));
        QVERIFY(recordDated(1, local(2027, 1, 1, 0, 5), QStringLiteral("3,00 €")));
        QVERIFY(recordDated(2, local(2027, 1, 1, 0, 7), QStringLiteral("0,50 €"), 1, 95));
        QVERIFY(recordDated(2, local(2027, 1, 31, 23, 59, 59), QStringLiteral("4,00 €")));
        QVERIFY(recordDated(1, local(2027, 2, 1, 0, 0, 30), QStringLiteral("5,00 €")));
        QVERIFY(recordOn(1, QDate(2027, 1, 15), QStringLiteral("7,00 €")));
    }

private slots:
    void init() { QVERIFY(makeOpenDatabase()); }
    void cleanup() { dropDatabase(); }

    // Each record counts on the day of its stop, also when it began the day before;
    // undated records lie in no range and are only counted.
    void sumsPerDayAndStation()
    {
        recordAroundNewYear();
        const Result<DailyTakings> takings
            = m_database->takings().takings(QDate(2026, 12, 31), QDate(2027, 1, 31));
        QVERIFY(takings.hasValue());
        QCOMPARE(takings->dayCount(), 32);
        QCOMPARE(takings->day(1), QDate(2027, 1, 1));
        QCOMPARE(takings->perDay[0], QList<qint64>({0, 20000}));
        QCOMPARE(takings->perDay[1], QList<qint64>({30000, 5000}));
        QCOMPARE(takings->perDay[31], QList<qint64>({0, 40000}));
        QCOMPARE(takings->amount(1), 35000);
        QCOMPARE(takings->amount(1, 2), 5000);
        QCOMPARE(takings->amount(15), 0);
        QCOMPARE(takings->total(), 95000);
        QCOMPARE(takings->total(1), 30000);
        QCOMPARE(takings->total(2), 65000);
        QCOMPARE(takings->undatedRecords, 1);

        const Result<DailyTakings> oneDay
            = m_database->takings().takings(QDate(2027, 2, 1), QDate(2027, 2, 1));
        QVERIFY(oneDay.hasValue());
        QCOMPARE(oneDay->dayCount(), 1);
        QCOMPARE(oneDay->total(), 50000);
    }

    void monthOfADay()
    {
        QCOMPARE(TakingsRange::monthStart(QDate(2028, 2, 17)), QDate(2028, 2, 1));
        QCOMPARE(TakingsRange::monthEnd(QDate(2028, 2, 17)), QDate(2028, 2, 29));
    }

    // The export lists every record of the range of all stations in the order of
    // their stops, with their dates as the café's clock showed them.
    void recordsOfTheRange()
    {
        recordAroundNewYear();
        const Result<QList<TakingsRecord>> records
            = m_database->takings().records(QDate(2027, 1, 1), QDate(2027, 1, 31));
        QVERIFY(records.hasValue());
        QCOMPARE(records->size(), 3);
        const TakingsRecord &first = records->at(0);
        QCOMPARE(first.station, 1);
        QCOMPARE(first.begin, local(2026, 12, 31, 23, 55));
        QCOMPARE(first.begin.offsetFromUtc(), 3600);
        QCOMPARE(first.end, local(2027, 1, 1, 0, 5));
        QCOMPARE(first.duration, QStringLiteral("00:10:30"));
        QCOMPARE(first.minutes, 10);
        QCOMPARE(first.feeUnits, 30000);
        QVERIFY(!first.operatorName.isEmpty());
        QCOMPARE(records->at(1).station, 2);
        QCOMPARE(records->at(1).number, first.number + 1);
        QCOMPARE(first.originStation, 0);
        QCOMPARE(first.pausedSeconds, 0);
        QCOMPARE(records->at(1).originStation, 1);
        QCOMPARE(records->at(1).pausedSeconds, 95);
        QCOMPARE(records->at(2).end, local(2027, 1, 31, 23, 59, 59));
        QCOMPARE(records->at(2).feeUnits, 40000);
    }

    // The workbook of a range holds real dates and amounts that a spreadsheet
    // program reads back as such; a file that can't be written is told by name.
    void workbookOfTheRange()
    {
        recordAroundNewYear();
        const Result<QList<TakingsRecord>> records
            = m_database->takings().records(QDate(2027, 1, 1), QDate(2027, 1, 31));
        QVERIFY(records.hasValue());
        const QString name = TakingsWorkbook::fileNameFor(QDate(2027, 1, 1), QDate(2027, 1, 31));
        QCOMPARE(name, QStringLiteral("einnahmen-2027-01-01-2027-01-31.xlsx"));
        const QString path = m_dir->filePath(name);
        QVERIFY(!TakingsWorkbook::write(path, records.value()));
        QCOMPARE(QDir(m_dir->path()).entryList({QStringLiteral("*.xlsx*")}), QStringList{name});

        const QJsonArray sheets = readWorkbook(path);
        QCOMPARE(sheets.size(), 1);
        const QJsonArray rows = sheets.at(0).toObject().value(QStringLiteral("rows")).toArray();
        QCOMPARE(rows.size(), 4);
        QStringList headings;
        for (int column = 0; column < 10; ++column)
            headings.append(cell(rows, 0, column).at(0).toString());
        QCOMPARE(headings,
                 QStringList({"Station", "Nummer", "Beginn", "Ende", "Dauer", "Minuten", "Betrag",
                              "Bediener", "Herkunft", "Pause (s)"}));
        const QString moment = QStringLiteral("dd.mm.yyyy hh:mm:ss");
        const QString money = QStringLiteral("#,##0.00 €");
        QCOMPARE(cell(rows, 1, 0).at(0).toInt(), 1);
        QCOMPARE(cell(rows, 1, 2), QVariantList({"2026-12-31T23:55:00", moment}));
        QCOMPARE(cell(rows, 1, 3), QVariantList({"2027-01-01T00:05:00", moment}));
        QCOMPARE(cell(rows, 1, 4).at(0).toString(), QStringLiteral("00:10:30"));
        QCOMPARE(cell(rows, 1, 5).at(0).toInt(), 10);
        QCOMPARE(cell(rows, 1, 6), QVariantList({3.0, money}));
        QCOMPARE(cell(rows, 1, 7).at(0).toString(), records->at(0).operatorName);
        QCOMPARE(cell(rows, 2, 0).at(0).toInt(), 2);
        QCOMPARE(cell(rows, 2, 6), QVariantList({0.5, money}));
        // Origin and pauses only where the record has them.
        QVERIFY(cell(rows, 1, 8).at(0).isNull() && cell(rows, 1, 9).at(0).isNull());
        QCOMPARE(cell(rows, 2, 8).at(0).toInt(), 1);
        QCOMPARE(cell(rows, 2, 9).at(0).toInt(), 95);
        QCOMPARE(cell(rows, 3, 3), QVariantList({"2027-01-31T23:59:59", moment}));
        QCOMPARE(cell(rows, 3, 6), QVariantList({4.0, money}));

        const Failure refused
            = TakingsWorkbook::write(m_dir->filePath(QStringLiteral("fehlt/") + name), {});
        QCOMPARE(refused.text(),
                 QStringLiteral("Die Datei '") + name
                     + QStringLiteral("' konnte nicht geschrieben werden."));
    }
};

QTEST_GUILESS_MAIN(TakingsRangeTest)
#include "tst_takingsrange.moc"
