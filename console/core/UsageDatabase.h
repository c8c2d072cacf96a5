#pragma once

#include "Failure.h"
#include "XlsWriter.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

struct sqlite3;

// One usage record as the station panel shows it after a stop.
struct UsageRecord
{
    QString start;    // 14:00:00
    QString end;      // 14:10:30
    QString duration; // 00:10:30
    QString fee;      // 1,05 €
};

// A station's running totals after an update.
struct UsageTotals
{
    qint64 minutes = 0;
    qint64 feeUnits = 0; // ten-thousandths of a euro
};

// A started usage period, kept on disk until its record is written.
struct OpenPeriod
{
    QString id; // unique for every period
    int station = 1;
    QDateTime begin;         // the wall clock at the real start
    QString startText;       // the start box as the start filled it
    int intervalMinutes = 0; // 0: open-ended

    // The beginning as kept on disk, with its offset from UTC, so that a clock
    // change between start and stop does not alter the length.
    QString beginText() const
    {
        return begin.toOffsetFromUtc(begin.offsetFromUtc()).toString(Qt::ISODateWithMs);
    }
};

// A stopped period: its record and what the totals need.
struct StoppedPeriod
{
    OpenPeriod period;
    UsageRecord record;
    qint64 durationSeconds = 0;
    int month = 1; // of the stop
};

// What became of a record handed to the database.
struct RecordOutcome
{
    enum Kind { Written, WrittenEarlier, Refused };
    Kind kind = Refused;
    std::optional<UsageTotals> totals; // none when the totals row is missing
    QString error;                     // the engine's reason for a refusal
    bool totalsUnreadable = false;     // written, but the total of fees reads as no amount
};

// The encrypted usage database: per station N (1 to 32) the table clientN of usage
// records and the table clientNstat holding the one row of running totals, and the
// console's own table Perioden of started periods not yet recorded. Fees are
// stored as whole ten-thousandths of a euro, so every sum is exact. The database
// is opened once and kept open; every operation after opening reports what failed
// by its result (nothing, false or a Failure) and leaves nothing half written.
class UsageDatabase
{
public:
    static constexpr const char *password = "qrtdb52";

    static QString pathFor(const QString &programDir, const QString &dbName);

    // The file that vouches for a database file as last found sound: kavo.mde is
    // vouched for by kavo.geprueft.
    static QString checkedMarkPathFor(const QString &databasePath);

    // The stations as a message names them: "Station 3", "Stationen 3 und 4",
    // "Stationen 3 bis 6", "Stationen 3, 5 bis 7 und 9".
    static QString stationsText(const QList<int> &stations);

    // "DB Name" names a file in the program directory: a directory part, ".." or a
    // path separator would reach a file elsewhere, and is refused with a reason.
    static Failure checkName(const QString &dbName);

    // Makes a new database with the tables of stations 1 to `stations` and zero
    // totals. Never touches an existing file.
    static Failure create(const QString &path, int stations = 2);

    // The stations whose tables were added to an existing database, or why none could be.
    struct AddedStations
    {
        QList<int> stations; // ascending; empty when none was missing
        Failure failure;
    };
    // Adds to an existing database the tables of the stations up to `stations` that
    // have neither of theirs, with zero totals; every table there stays as it is.
    static AddedStations addMissingStations(const QString &path, int stations);

    UsageDatabase();
    ~UsageDatabase();
    UsageDatabase(const UsageDatabase &) = delete;
    UsageDatabase &operator=(const UsageDatabase &) = delete;

    // Opens an existing database read-write for stations 1 to `stations`, checks
    // that it has their tables, the pages (quick integrity check, which a file byte
    // for byte as its last close found it needs no more) and that it takes a record
    // (a trial write, rolled back), and adds the table of open periods when it is
    // missing. A missing file is never created. Closing checks the pages whole and
    // marks the file as found sound.
    Failure open(const QString &path, int stations = 2);

    // The stations the database was opened for: 1 to stationCount().
    int stationCount() const { return m_stations; }
    bool hasStation(int station) const { return station >= 1 && station <= m_stations; }
    // A number a station may have, whether this console serves it or not: its open
    // periods are kept, and its records go into its own tables.
    static constexpr int maxStations = 32;
    static bool isStation(int station) { return station >= 1 && station <= maxStations; }

    // The stations whose totals row is missing: their records are written, their
    // totals are not kept.
    QList<int> stationsWithoutTotals();
    // The stations whose total of fees reads as no amount (an empty field counts as
    // zero): their records are written, their totals are left as they are.
    QList<int> stationsWithUnreadableTotals();

    // Keeps a started period on disk until recordPeriod takes it.
    Failure saveOpenPeriod(const OpenPeriod &period);
    // The open periods of every station 1 to 32, served or not.
    QList<OpenPeriod> openPeriods();
    // Open rows whose station (1 to 32) or beginning can't be read, each as its texts:
    // Periode, Station, Beginn, Startzeit, Intervall.
    QList<QStringList> unreadableOpenPeriods();
    // Removes the open row (by its texts from unreadableOpenPeriods, or by id).
    bool removeUnreadableOpenPeriod(const QStringList &row);
    bool discardOpenPeriod(const QString &periodId);

    // Appends the record with the period's month and adds the whole minutes and
    // the fee to the totals, and ends the open period, all or nothing, on disk
    // before it returns. A period recorded before (see `keepMarker`) is not
    // recorded again. With `keepMarker` the period stays known as recorded until
    // forgetRecorded, for a copy of it that may still be pending elsewhere. A
    // station not served gets its tables first where it has none.
    RecordOutcome recordPeriod(const StoppedPeriod &stopped, bool keepMarker = false);
    QStringList recordedPeriods();
    bool forgetRecorded(const QString &periodId);

    std::optional<qint64> readTotalMinutes(int station);
    std::optional<qint64> readTotalFees(int station); // ten-thousandths of a euro

    // Sum of all fees of the station, left in the table EntgeldN (column EntgeldN).
    // Summed over the records once, then kept up to date by every record written;
    // a file as its last close left it has the sums in those tables already.
    std::optional<qint64> sumAllFees(int station);

    // The months that occur in the station's records, ascending, as texts.
    QStringList listMonths(int station);

    // Sum of the fees of the records whose month reads exactly `monthText`, left
    // in the table MonatN (column KostenN).
    std::optional<qint64> sumMonthFees(int station, const QString &monthText);

    // Whole minutes of the records whose month reads exactly `monthText`.
    std::optional<qint64> sumMonthMinutes(int station, const QString &monthText);

    // All rows of the station's table in stored order, under the table's own column
    // names, ready for a workbook: texts stay texts, the month is an integer and the
    // fee a number of euros. Nothing when the table can't be read.
    std::optional<XlsSheetData> exportStation(int station);

private:
    struct Closer
    {
        void operator()(sqlite3 *db) const;
    };

    Failure connect(const QString &path);
    QList<int> missingStations(int stations);
    Failure checkStationsPresent(const QString &path);
    Failure checkTables();
    Failure checkWritable(const QString &path);
    Failure checkPages(const QString &path);
    Failure checkPagesWhole(const QString &path);
    void markChecked();
    int keepFeeSums();
    bool readFeeSum(int station);
    std::optional<qint64> dataVersion();
    Failure stillInPlace();
    Failure checkTakesRecords(const QString &path);
    Failure makeOwnTables();
    Failure makeTables(const QList<int> &stations);
    Failure tablesOfUnserved(int station);
    void replaceResultTable(const QString &table, const QString &select,
                            const QStringList &parameters = {});
    std::optional<qint64> readSingleValue(const QString &select);

    std::unique_ptr<sqlite3, Closer> m_db;
    QString m_path;
    int m_stations = 2;
    // The all-time sums of fees by station as far as read or summed; none: no fees yet.
    QMap<int, std::optional<qint64>> m_allFees;
    // Stations 1 to this have their sums in their result tables, as the last close left them.
    int m_vouchedFeeSums = 0;
    // Another connection's write changes it; this connection's own writes do not.
    std::optional<qint64> m_openedDataVersion;
};
