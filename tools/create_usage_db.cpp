// Makes a fresh, empty usage database for the console, or adds to an existing one
// the tables of stations it lacks:
//   create_usage_db <program-dir> <db-name> [<stations>]
// writes <program-dir>/<db-name>.mde for stations 1 to <stations> (default 2). An
// existing file keeps every table it has.

#include "ConsoleConfig.h"
#include "UsageDatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>

#include <cstdio>
#include <optional>

#include <sys/stat.h>

namespace {
// A station count written in digits alone, within the console's range.
std::optional<int> stationCount(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    const int count = digits.match(text).hasMatch() ? text.toInt() : 0;
    if (count < 1 || count > ConsoleConfig::maxStationCount)
        return std::nullopt;
    return count;
}

int addMissingStations(const QString &path, int stations)
{
    const Result<QList<int>> added = UsageDatabase::addMissingStations(path, stations);
    const QString file = QDir::toNativeSeparators(path);
    if (!added.hasValue()) {
        std::fprintf(stderr, "%s\n", qPrintable(added.failure().text()));
        return 1;
    }
    if (added->isEmpty()) {
        QList<int> all;
        for (int station = 1; station <= stations; ++station)
            all.append(station);
        std::fprintf(
            stderr, "%s\n",
            qPrintable(QStringLiteral("Die Datei %1 gibt es schon, mit den Tabellen der %2;"
                                      " sie bleibt unverändert.")
                           .arg(file, UsageDatabase::stationsText(all))));
        return 1;
    }
    std::printf("%s\n",
                qPrintable(QStringLiteral("Der Datenbank %1 wurden die Tabellen der %2"
                                          " hinzugefügt; alle übrigen Tabellen bleiben, wie sie"
                                          " sind.")
                               .arg(file, UsageDatabase::stationsText(added.value()))));
    return 0;
}
}

int main(int argc, char *argv[])
{
    umask(S_IRWXO); // the database is for the operators of group kavo only
    const std::optional<int> stations = argc == 4
        ? stationCount(QString::fromLocal8Bit(argv[3]))
        : std::optional<int>(ConsoleConfig::defaultStationCount);
    if ((argc != 3 && argc != 4) || !stations) {
        std::fprintf(stderr,
                     "Aufruf: create_usage_db <Programmverzeichnis> <DB-Name> [<Stationen>]\n"
                     "<Stationen>: die Zahl der Kunden-PCs, 1 bis %d (ohne Angabe %d)\n",
                     ConsoleConfig::maxStationCount, ConsoleConfig::defaultStationCount);
        return 2;
    }
    const QString path
        = UsageDatabase::pathFor(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    if (QFileInfo::exists(path))
        return addMissingStations(path, *stations);
    if (const Failure failure = UsageDatabase::create(path, *stations)) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.text()));
        return 1;
    }
    std::printf("%s\n", qPrintable(QDir::toNativeSeparators(path)));
    return 0;
}
