#pragma once

#include "ChainCheck.h"
#include "Closings.h"
#include "DatabaseSoundness.h"
#include "DayRecords.h"
#include "Failure.h"
#include "Incidents.h"
#include "OpenPeriodStore.h"
#include "OperatorRoster.h"
#include "RecordChain.h"
#include "Result.h"
#include "SqlConnection.h"
#include "TakingsRange.h"
#include "TariffHistory.h"
#include "UsageRecorder.h"
#include "UsageSchema.h"
#include "UsageStatistics.h"

#include <QList>
#include <QString>

#include <memory>

// The encrypted usage database: per station N (1 to 32) the table clientN of usage
// records and the table clientNstat holding the one row of running totals, and the
// console's own tables Perioden of started periods not yet recorded and Abschluesse
// of the day's and shifts' closings. Fees are
// stored as whole ten-thousandths of a euro, so every sum is exact. The database
// is opened once and kept open; it owns the connection and hands out the parts
// that work on it: the open periods, the recorder, the statistics and the
// closings. Every
// operation after opening reports what failed by its result (nothing, false or a
// Failure) and leaves nothing half written.
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

    // Adds to an existing database the tables of the stations up to `stations` that
    // have neither of theirs, with zero totals; every table there stays as it is.
    // Gives the stations added, ascending (empty when none was missing), or why none
    // could be.
    static Result<QList<int>> addMissingStations(const QString &path, int stations);

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
    static bool isStation(int station) { return OpenPeriodStore::isStation(station); }

    OpenPeriodStore &periods() { return m_periods; }
    UsageRecorder &recorder() { return m_recorder; }
    UsageStatistics &statistics() { return m_statistics; }
    Closings &closings() { return m_closings; }
    const TakingsRange &takings() const { return m_takings; }
    OperatorRoster &roster() { return m_roster; }
    Incidents &incidents() { return m_incidents; }
    RecordChain &chain() { return m_chain; }
    TariffHistory &tariffHistory() { return m_tariffs; }
    const DayRecords &dayRecords() const { return m_dayRecords; }
    // A check of the chain over the stations served (see ChainCheck).
    std::unique_ptr<ChainCheck> chainCheck(ChainCheck::Scope scope) const
    {
        return std::make_unique<ChainCheck>(m_db, m_path, m_stations, scope);
    }

    // Sets the owner's PIN. The first time it also starts the book: the tables of
    // the owner and the operators, of incidents and of the chain, all at once.
    Failure setOwnerPin(const QString &pin);

    // A further connection to the file at `path` that only reads, with the key and
    // the SQL functions of the console's own, for one thread at a time.
    static Failure openReader(const QString &path, SqlConnection &reader);

private:
    static Failure keyed(sqlite3 *db);
    Failure connect(const QString &path);
    Failure prepareBook();
    void markChecked();

    SqlConnection m_db;
    QString m_path;
    int m_stations = 2;
    UsageSchema m_schema{m_db, m_stations};
    DatabaseSoundness m_soundness{m_db, m_path};
    UsageStatistics m_statistics{m_db, m_stations, m_soundness};
    OpenPeriodStore m_periods{m_db, m_soundness};
    RecordChain m_chain{m_db, m_stations};
    OperatorRoster m_roster{m_db};
    Incidents m_incidents{m_db};
    TariffHistory m_tariffs{m_db};
    DayRecords m_dayRecords{m_db, m_stations};
    Closings m_closings{m_db, m_stations, m_chain};
    TakingsRange m_takings{m_db, m_stations};
    UsageRecorder m_recorder{m_db,      m_stations,   m_soundness, m_schema,
                             m_periods, m_statistics, m_chain};
};
