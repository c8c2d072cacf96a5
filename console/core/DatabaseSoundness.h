#pragma once

#include "Failure.h"
#include "SqlConnection.h"

#include <QString>

#include <optional>

// Whether the usage database file is fit to work on: writable, its pages sound (a
// quick integrity check, which a file unchanged since its last close found it sound
// needs no more), taking a record, still under its name. Closing checks the pages
// whole and leaves the mark that vouches for the file at the next start: the file's
// stamp (size, change times, inode), which a start compares without reading the
// file, or, where the file changed within the same tick of the file system's clock
// as the mark was written, the hash of its whole content.
class DatabaseSoundness
{
public:
    DatabaseSoundness(const SqlConnection &db, const QString &path);

    Failure checkWritable(const QString &path);
    Failure checkPages(const QString &path);
    Failure checkTakesRecords(const QString &path);
    // A file renamed or deleted while the console runs counts as refusing writes.
    Failure stillInPlace() const;

    // Notes the file's version as opened, to tell another connection's writes later.
    void noteOpened();
    // Whether another connection wrote to the file since it was opened.
    bool writtenByOthers();
    // Stations 1 to this have their sums of fees in their result tables, as the
    // mark of the last close says.
    int feeSumsVouchedFor() const { return m_vouchedFeeSums; }
    void forget();

    // Checks the pages whole and, found sound, marks the file so; the mark names
    // `keptFeeSums` stations whose sums the result tables hold.
    void markChecked(int keptFeeSums);

private:
    Failure checkPagesWhole(const QString &path);
    std::optional<qint64> dataVersion();

    const SqlConnection &m_db;
    const QString &m_path;
    int m_vouchedFeeSums = 0;
    // Another connection's write changes it; this connection's own writes do not.
    std::optional<qint64> m_openedDataVersion;
};
