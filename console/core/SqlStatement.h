#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// One prepared statement, finalized when it goes out of scope so that no table
// stays in use. A statement that failed to prepare fails every step. Whatever
// fails keeps the engine's reason in failure(), taken when it happens, since
// finalizing or the next statement resets what the connection reports.
class SqlStatement
{
public:
    SqlStatement(sqlite3 *db, const QString &sql);
    ~SqlStatement();
    SqlStatement(const SqlStatement &) = delete;
    SqlStatement &operator=(const SqlStatement &) = delete;

    bool isValid() const { return m_statement != nullptr; }
    // The operator's text for the last failure (see SqlFailure); empty while none.
    const QString &failure() const { return m_failure; }

    [[nodiscard]] bool bind(int index, const QString &text);
    [[nodiscard]] bool bind(int index, qint64 value);

    // Makes the statement ready to run again from its first row; the bindings stay
    // until bound anew.
    [[nodiscard]] bool rewind();
    // Runs a statement that gives no rows.
    [[nodiscard]] bool run();
    // Moves to the next row; false at the end and on an error.
    [[nodiscard]] bool next();
    bool reachedEnd() const;

    int columnCount() const;
    QString columnName(int column) const;
    bool isNull(int column) const;
    std::optional<qint64> money(int column) const; // ten-thousandths of a euro
    std::optional<qint64> integer(int column) const;
    std::optional<QString> text(int column) const;
    QVariant value(int column) const;
    // The column's type as a letter (N null, I integer, R real, T text, B blob) and
    // its bytes as the engine writes them out, valid until the next step.
    char typeLetter(int column) const;
    QByteArrayView bytes(int column) const;

private:
    int step();
    bool keepFailureUnless(bool succeeded);

    sqlite3 *m_db;
    sqlite3_stmt *m_statement = nullptr;
    int m_lastStep;
    QString m_failure;
};
