#pragma once

#include <QDate>
#include <QString>

#include <functional>

// Fills the usage tables of stations 1 to `stations` of the database at `path` with
// `records` made-up records each, in one transaction, committed with a full sync so
// that the file is on disk before anything is timed. The database must have the
// tables already.
bool fillUsageRecords(const QString &path, int stations, int records);

// Makes a new database file at `path` with the tables of stations 1 to `stations` as
// consoles made them before records were dated: five columns, no index of the stops.
bool makeUndatedUsageFile(const QString &path, int stations);

// Fills the usage tables of stations 1 to `stations` of the database at `path`, which
// has the dated columns, with `records` dated records each, their stops spread evenly
// over the `days` days from `firstDay` on, numbered consecutively.
bool fillDatedUsageRecords(const QString &path, int stations, int records, const QDate &firstDay,
                           int days);

// Where a benchmark makes its database: a fresh folder in `folder`, else in the
// system's temporary folder.
QString benchFolderTemplate(const char *folder);

// The database file `<name>.mde` in `folder`, which `make` fills when it is not there
// yet: under a passing name first, so that a fill cut short is never taken for a
// whole one. Benchmarks keep their large files so between runs. Empty when the
// file can't be made.
QString keptUsageFile(const QString &folder, const QString &name,
                      const std::function<bool(const QString &path)> &make);

// The first day of the records of `keptFiveYearsFile`, and the number of its days.
inline const QDate fiveYearsFirstDay(2022, 1, 1);
constexpr int fiveYearsDays = 1826;

// The database of `stations` stations of `records` records each, their stops spread
// over the five years 2022 to 2026, kept in `folder` (see keptUsageFile) under a
// name of its size, so that the benchmarks of the books share one file.
QString keptFiveYearsFile(const QString &folder, int stations, int records);
