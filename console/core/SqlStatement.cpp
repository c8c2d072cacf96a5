#include "SqlStatement.h"

#include "SqlFailure.h"
#include "SqlMoney.h"

#include <memory>

#include <sqlite3.h>

SqlStatement::SqlStatement(sqlite3 *db, const QString &sql)
    : m_db(db)
    , m_lastStep(SQLITE_OK)
{
    const QByteArray text = sql.toUtf8();
    keepFailureUnless(
        sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_statement, nullptr)
        == SQLITE_OK);
}

SqlStatement::~SqlStatement()
{
    sqlite3_finalize(m_statement);
}

bool SqlStatement::bind(int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return isValid()
        && keepFailureUnless(sqlite3_bind_text(m_statement, index, utf8.constData(),
                                               int(utf8.size()), SQLITE_TRANSIENT)
                             == SQLITE_OK);
}

bool SqlStatement::bind(int index, qint64 value)
{
    return isValid()
        && keepFailureUnless(sqlite3_bind_int64(m_statement, index, value) == SQLITE_OK);
}

bool SqlStatement::rewind()
{
    m_lastStep = SQLITE_OK;
    return isValid() && keepFailureUnless(sqlite3_reset(m_statement) == SQLITE_OK);
}

bool SqlStatement::run()
{
    return step() == SQLITE_DONE;
}

bool SqlStatement::next()
{
    return step() == SQLITE_ROW;
}

bool SqlStatement::reachedEnd() const
{
    return m_lastStep == SQLITE_DONE;
}

int SqlStatement::columnCount() const
{
    return sqlite3_column_count(m_statement);
}

QString SqlStatement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_statement, column));
}

bool SqlStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::optional<qint64> SqlStatement::money(int column) const
{
    // Only a copy of a column's value may be read through the value interface.
    std::unique_ptr<sqlite3_value, decltype(&sqlite3_value_free)> value(
        sqlite3_value_dup(sqlite3_column_value(m_statement, column)), &sqlite3_value_free);
    return value ? SqlMoney::units(value.get()) : std::nullopt;
}

std::optional<qint64> SqlStatement::integer(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return sqlite3_column_int64(m_statement, column);
}

std::optional<QString> SqlStatement::text(int column) const
{
    if (isNull(column))
        return std::nullopt;
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QString::fromUtf8(bytes, sqlite3_column_bytes(m_statement, column));
}

QVariant SqlStatement::value(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(m_statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_statement, column);
    case SQLITE_TEXT:
        return *text(column);
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, column)),
                          sqlite3_column_bytes(m_statement, column));
    default:
        return QVariant();
    }
}

char SqlStatement::typeLetter(int column) const
{
    static const char letters[] = "?IRTBN";
    const int type = sqlite3_column_type(m_statement, column);
    return letters[type >= SQLITE_INTEGER && type <= SQLITE_NULL ? type : 0];
}

QByteArrayView SqlStatement::bytes(int column) const
{
    const int type = sqlite3_column_type(m_statement, column);
    if (type == SQLITE_NULL)
        return {};
    const auto *data = type == SQLITE_BLOB ? sqlite3_column_blob(m_statement, column)
                                           : sqlite3_column_text(m_statement, column);
    return QByteArrayView(static_cast<const char *>(data),
                          sqlite3_column_bytes(m_statement, column));
}

int SqlStatement::step()
{
    if (!isValid())
        return m_lastStep = SQLITE_MISUSE;
    m_lastStep = sqlite3_step(m_statement);
    keepFailureUnless(m_lastStep == SQLITE_ROW || m_lastStep == SQLITE_DONE);
    return m_lastStep;
}

// Takes the engine's reason for a failure at once, before anything resets it.
bool SqlStatement::keepFailureUnless(bool succeeded)
{
    if (!succeeded)
        m_failure = SqlFailure::of(m_db);
    return succeeded;
}
