#include "UsageRecordFill.h"

#include "TextFormats.h"
#include "UsageDatabase.h"

#include <QDir>
#include <QFile>
#include <QTime>

#include <sqlite3.h>

namespace {
bool exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void bindText(sqlite3_stmt *insert, int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(insert, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// The made-up moments carry the winter offset throughout.
QString moment(const QDate &day, const QTime &time)
{
    return day.toString(Qt::ISODate) + QLatin1Char('T') + TextFormats::timeOfDay(time)
        + QStringLiteral("+01:00");
}

// Bulk insert: one prepared statement. With `days` the records are dated, their stops
// spread evenly over the days from `firstDay` on, and numbered; without, they are
// undated and go round the months.
bool fillStation(sqlite3 *db, int station, int records, const QDate &firstDay = {}, int days = 0)
{
    const bool dated = days > 0;
    const QString datedColumns = dated ? QStringLiteral(", client%1von, client%1bis,"
                                                        " client%1bediener, client%1nummer")
                                       : QString();
    const QString datedValues = dated ? QStringLiteral(", ?6, ?7, 'bench', ?8") : QString();
    const QByteArray sql
        = (QStringLiteral("INSERT INTO client%1 (client%1start, client%1ende, client%1dauer,"
                          " client%1kosten, client%1datum")
           + datedColumns + QStringLiteral(") VALUES (?1, ?2, ?3, ?4, ?5") + datedValues
           + QLatin1Char(')'))
              .arg(station)
              .toUtf8();
    sqlite3_stmt *insert = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &insert, nullptr) != SQLITE_OK)
        return false;
    bool ok = true;
    for (int i = 0; ok && i < records; ++i) {
        const QTime start = QTime(8, 0).addSecs(i % 36000);
        const int seconds = 60 + i % 7200;
        const QTime end = start.addSecs(seconds);
        bindText(insert, 1, TextFormats::timeOfDay(start));
        bindText(insert, 2, TextFormats::timeOfDay(end));
        bindText(insert, 3, TextFormats::timeOfDay(QTime(0, 0).addSecs(seconds)));
        sqlite3_bind_int64(insert, 4, qint64(seconds) * 10000 / 600);
        if (dated) {
            const QDate day = firstDay.addDays(qint64(i) * days / records);
            sqlite3_bind_int64(insert, 5, day.month());
            bindText(insert, 6, moment(day, start));
            bindText(insert, 7, moment(day, end));
            sqlite3_bind_int64(insert, 8, qint64(station - 1) * records + i + 1);
        } else {
            sqlite3_bind_int64(insert, 5, i % 12 + 1);
        }
        ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
    }
    sqlite3_finalize(insert);
    return ok;
}

// The database at `path`, unlocked with its key; null when it can't be opened.
sqlite3 *openKeyed(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const QByteArray key = QByteArray("PRAGMA key = '") + UsageDatabase::password + "'";
    if (!exec(db, key.constData())) {
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

// Runs `fill` for every station in one transaction, synced to disk.
template<typename Fill> bool fillStations(const QString &path, int stations, Fill fill)
{
    sqlite3 *db = openKeyed(path);
    bool ok = db && exec(db, "PRAGMA synchronous = FULL") && exec(db, "BEGIN");
    for (int station = 1; ok && station <= stations; ++station)
        ok = fill(db, station);
    ok = ok && exec(db, "COMMIT");
    sqlite3_close(db);
    return ok;
}
}

bool fillUsageRecords(const QString &path, int stations, int records)
{
    return fillStations(path, stations, [records](sqlite3 *db, int station) {
        return fillStation(db, station, records);
    });
}

bool fillDatedUsageRecords(const QString &path, int stations, int records, const QDate &firstDay,
                           int days)
{
    return fillStations(path, stations, [&](sqlite3 *db, int station) {
        return fillStation(db, station, records, firstDay, days);
    });
}

bool makeUndatedUsageFile(const QString &path, int stations)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                    nullptr);
    const QByteArray key = QByteArray("PRAGMA key = '") + UsageDatabase::password + "'";
    bool ok = exec(db, key.constData());
    for (int station = 1; ok && station <= stations; ++station) {
        const QByteArray tables
            = QStringLiteral(
                  "CREATE TABLE client%1 (client%1start TEXT, client%1ende TEXT, client%1dauer "
                  "TEXT,"
                  " client%1kosten INTEGER, client%1datum INTEGER);"
                  "CREATE INDEX client%1monat ON client%1 (client%1datum, client%1kosten);"
                  "CREATE TABLE client%1stat (Nutzungszeit INTEGER, Entgeld INTEGER);"
                  "INSERT INTO client%1stat (Nutzungszeit, Entgeld) VALUES (0, 0);")
                  .arg(station)
                  .toUtf8();
        ok = exec(db, tables.constData());
    }
    sqlite3_close(db);
    return ok;
}

QString benchFolderTemplate(const char *folder)
{
    return (folder ? QString::fromLocal8Bit(folder) : QDir::tempPath())
        + QStringLiteral("/bench-XXXXXX");
}

QString keptUsageFile(const QString &folder, const QString &name,
                      const std::function<bool(const QString &path)> &make)
{
    const QString path = UsageDatabase::pathFor(folder, name);
    if (QFile::exists(path))
        return path;
    const QString passing = UsageDatabase::pathFor(folder, name + QStringLiteral("-filling"));
    QFile::remove(passing);
    const bool made = make(passing) && QFile::rename(passing, path);
    // The check mark of the passing name fits no file any more.
    QFile::remove(UsageDatabase::checkedMarkPathFor(passing));
    return made ? path : QString();
}

QString keptFiveYearsFile(const QString &folder, int stations, int records)
{
    return keptUsageFile(folder, QStringLiteral("fuenf-jahre-%1x%2").arg(stations).arg(records),
                         [&](const QString &made) {
                             return !UsageDatabase::create(made, stations)
                                 && fillDatedUsageRecords(made, stations, records,
                                                          fiveYearsFirstDay, fiveYearsDays);
                         });
}
