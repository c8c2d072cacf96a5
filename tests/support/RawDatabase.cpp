#include "RawDatabase.h"

#include <QFile>

#include <sqlite3.h>

RawDatabase::RawDatabase(const QString &path, const QByteArray &key)
{
    sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    exec("PRAGMA key = '" + key + "'");
}

RawDatabase::~RawDatabase()
{
    sqlite3_close(m_db);
}

bool RawDatabase::exec(const QByteArray &sql)
{
    return sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

QVariant RawDatabase::value(const QByteArray &sql)
{
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(m_db, sql.constData(), -1, &statement, nullptr);
    QVariant result;
    if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_type(statement, 0) != SQLITE_NULL)
        result = qint64(sqlite3_column_int64(statement, 0));
    sqlite3_finalize(statement);
    return result;
}

QString RawDatabase::text(const QByteArray &sql)
{
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(m_db, sql.constData(), -1, &statement, nullptr);
    QString result;
    if (sqlite3_step(statement) == SQLITE_ROW)
        result
            = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)),
                                sqlite3_column_bytes(statement, 0));
    sqlite3_finalize(statement);
    return result;
}
