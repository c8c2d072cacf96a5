#include "SqlTransaction.h"

#include "SqlStatement.h"

SqlTransaction::SqlTransaction(sqlite3 *db)
    : m_db(db)
    , m_open(run("BEGIN IMMEDIATE"))
{
}

SqlTransaction::~SqlTransaction()
{
    if (m_open)
        run("ROLLBACK");
}

bool SqlTransaction::commit()
{
    if (!m_open || !run("COMMIT"))
        return false;
    m_open = false;
    return true;
}

bool SqlTransaction::run(const char *sql)
{
    SqlStatement statement(m_db, QString::fromLatin1(sql));
    if (statement.run())
        return true;
    m_failure = statement.failure();
    return false;
}
