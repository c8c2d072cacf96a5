#pragma once

#include "Failure.h"

#include <QString>

// One console at a time on a usage database, whoever starts it: an exclusive lock
// on a file beside the database (kavo.mde is guarded by kavo.lock), held until the
// console ends; the system releases it when the process dies. The file names the
// holder (user, PC, process, since when) for a console that finds it taken.
class DatabaseLock
{
public:
    DatabaseLock() = default;
    ~DatabaseLock();
    DatabaseLock(const DatabaseLock &) = delete;
    DatabaseLock &operator=(const DatabaseLock &) = delete;

    static QString lockPathFor(const QString &databasePath);

    // Fails, with the German text for the operator, when another console holds the
    // database or the lock file can't be made.
    Failure acquire(const QString &databasePath);

private:
    int m_fd = -1;
};
