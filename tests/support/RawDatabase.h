#pragma once

#include "UsageDatabase.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

struct sqlite3;

// A database file reached around the classes under test, the way an operator's
// command-line shell reaches it.
class RawDatabase
{
public:
    explicit RawDatabase(const QString &path, const QByteArray &key = UsageDatabase::password);
    ~RawDatabase();
    RawDatabase(const RawDatabase &) = delete;
    RawDatabase &operator=(const RawDatabase &) = delete;

    bool exec(const QByteArray &sql);
    // The first value of the first row; invalid for none or null.
    QVariant value(const QByteArray &sql);
    // The first value of the first row as text; empty for none or null.
    QString text(const QByteArray &sql);

private:
    sqlite3 *m_db = nullptr;
};
