#pragma once

#include <QString>

struct sqlite3;

// A write transaction, begun at once and rolled back unless committed. A begin or
// commit the engine refuses keeps its reason in failure().
class SqlTransaction
{
public:
    explicit SqlTransaction(sqlite3 *db);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction &) = delete;
    SqlTransaction &operator=(const SqlTransaction &) = delete;

    bool isOpen() const { return m_open; }
    [[nodiscard]] bool commit();
    // The operator's text for the refused begin or commit (see SqlFailure); empty while none.
    const QString &failure() const { return m_failure; }

private:
    bool run(const char *sql);

    sqlite3 *m_db;
    QString m_failure;
    bool m_open;
};
