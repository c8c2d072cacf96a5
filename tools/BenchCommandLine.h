#pragma once

#include "Result.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

// The command line of a benchmark over a database of made-up records:
// `<name> [<stations> [<records per station> [<folder>]]]`, or without the stations
// where the benchmark fixes their number.
class BenchCommandLine
{
public:
    // Records per station alone, `records` unless given.
    BenchCommandLine(int argc, char *argv[], int records);
    // Stations (1 to 32) and records per station, `stations` and `records` unless given.
    BenchCommandLine(int argc, char *argv[], int stations, int records);

    // False, after telling how the command goes, where a number is out of its range.
    bool isValid() const { return m_valid; }
    int stations() const { return m_stations; }
    int records() const { return m_records; }

    // A new database file in a fresh folder removed at the end: in the folder given,
    // else in the system's temporary folder; or why that folder can't be made.
    Result<QString> newFilePath();
    // Where the benchmark keeps its large files for the next run: the folder given,
    // else a fresh temporary one.
    QString keptFolder();

private:
    BenchCommandLine(int argc, char *argv[], int stations, int records, bool stationsGiven);
    // A fresh folder in `inside` (the system's temporary folder where null), removed
    // at the end.
    const QTemporaryDir &temporaryFolder(const char *inside);

    int m_stations;
    int m_records;
    const char *m_folder = nullptr;
    bool m_valid = true;
    std::unique_ptr<QTemporaryDir> m_temporary;
};
