#include "DatabaseSoundness.h"

#include "SqlRun.h"
#include "SqlStatement.h"
#include "SqlTransaction.h"
#include "UsageDatabase.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <sqlite3.h>

#include <algorithm>
#include <tuple>

#include <sys/stat.h>

using SqlRun::exec;

namespace {
constexpr QByteArrayView stampWord = "Stand ";

// The file's bytes in a few words, any change giving other words; empty when the
// file can't be read.
QByteArray fingerprint(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    size_t hash = 0;
    qint64 size = 0;
    qint64 got = 0;
    while ((got = file.read(chunk.data(), chunk.size())) > 0) {
        hash = qHash(QByteArrayView(chunk.constData(), got), hash);
        size += got;
    }
    if (got < 0)
        return {};
    return QByteArray::number(size) + ' ' + QByteArray::number(quint64(hash), 16);
}

// What the file system tells of the file without reading it: its size, the times of
// the last change to its bytes and to its entry, its inode and device. Every write
// moves the entry's change time, which no program sets back; a copy put in its place
// is another inode. Empty when the file can't be looked at.
QByteArray stamp(const QString &path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    const auto moment = [](const timespec &time) {
        return QByteArray::number(qint64(time.tv_sec)) + '.'
            + QByteArray::number(qint64(time.tv_nsec));
    };
    return stampWord.toByteArray() + QByteArray::number(qint64(status.st_size)) + ' '
        + moment(status.st_mtim) + ' ' + moment(status.st_ctim) + ' '
        + QByteArray::number(quint64(status.st_ino)) + ' '
        + QByteArray::number(quint64(status.st_dev));
}

// A write within the same tick of the file system's clock as the file's last change
// leaves its stamp as it was: the stamp vouches for the file only when the mark,
// written after it, changed later than the file did.
bool changedBefore(const QString &path, const QString &mark)
{
    struct stat file = {};
    struct stat written = {};
    if (::stat(QFile::encodeName(path).constData(), &file) != 0
        || ::stat(QFile::encodeName(mark).constData(), &written) != 0)
        return false;
    return std::tie(file.st_ctim.tv_sec, file.st_ctim.tv_nsec)
        < std::tie(written.st_ctim.tv_sec, written.st_ctim.tv_nsec);
}

bool writeMark(const QString &path, const QByteArray &words)
{
    QSaveFile file(path);
    return !words.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(words + '\n') >= 0
        && file.commit();
}

// Whether the file is as the mark's first line found it: by its stamp, or by the
// hash of its content where the mark has that (see `markChecked`).
bool matchesMark(const QString &path, const QByteArray &words)
{
    return words.startsWith(stampWord) ? stamp(path) == words : fingerprint(path) == words;
}

// A read transaction: while it lasts, nobody writes to the file.
bool holdReadLock(sqlite3 *db)
{
    if (!exec(db, QStringLiteral("BEGIN; SELECT count(*) FROM sqlite_master")))
        return true;
    if (!sqlite3_get_autocommit(db))
        static_cast<void>(exec(db, QStringLiteral("ROLLBACK")));
    return false;
}

void releaseReadLock(sqlite3 *db)
{
    if (exec(db, QStringLiteral("COMMIT")) && !sqlite3_get_autocommit(db))
        static_cast<void>(exec(db, QStringLiteral("ROLLBACK")));
}

// The mark's lines: the file's fingerprint, then "Entgeld <n>" when the result tables
// of stations 1 to n hold their sums.
QByteArrayList readMark(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(256).trimmed().split('\n') : QByteArrayList();
}

constexpr QByteArrayView feeSumsWord = "Entgeld ";

int vouchedFeeSums(const QByteArrayList &mark)
{
    if (mark.size() < 2 || !mark[1].startsWith(feeSumsWord))
        return 0;
    return std::max(0, mark[1].mid(feeSumsWord.size()).toInt());
}
}

DatabaseSoundness::DatabaseSoundness(const SqlConnection &db, const QString &path)
    : m_db(db)
    , m_path(path)
{
}

void DatabaseSoundness::noteOpened()
{
    m_openedDataVersion = dataVersion();
}

bool DatabaseSoundness::writtenByOthers()
{
    return !m_openedDataVersion || dataVersion() != m_openedDataVersion;
}

void DatabaseSoundness::forget()
{
    m_vouchedFeeSums = 0;
    m_openedDataVersion.reset();
}

// The engine falls back to reading only when the file is write-protected; then
// every stop would lose its record.
Failure DatabaseSoundness::checkWritable(const QString &path)
{
    if (sqlite3_db_readonly(m_db.get(), "main") == 0)
        return Failure::none();
    return Failure(
        QStringLiteral("Die Datenbank %1 ist schreibgeschützt. Bitte die Rechte der Datei und des"
                       " Programmordners prüfen (Gruppe kavo).")
            .arg(QDir::toNativeSeparators(path)));
}

// Under a read lock, so that nobody writes to the file while it is compared: a file
// byte for byte as it was when its pages were last found sound needs no new check.
Failure DatabaseSoundness::checkPages(const QString &path)
{
    if (!holdReadLock(m_db.get()))
        return checkPagesWhole(path);
    const QByteArrayList mark = readMark(UsageDatabase::checkedMarkPathFor(path));
    const bool unchanged = !stillInPlace() && matchesMark(path, mark.value(0));
    if (unchanged)
        m_vouchedFeeSums = vouchedFeeSums(mark);
    const Failure failure = unchanged ? Failure::none() : checkPagesWhole(path);
    releaseReadLock(m_db.get());
    return failure;
}

// The pages are checked whole once more as the database is closed, and the file as
// found sound is marked for the next start, which then needs to compare it only.
void DatabaseSoundness::markChecked(int keptFeeSums)
{
    // The pages are read from the file again, not taken from what this connection holds.
    sqlite3_db_release_memory(m_db.get());
    if (!holdReadLock(m_db.get()))
        return;
    const QString mark = UsageDatabase::checkedMarkPathFor(m_path);
    const bool sound = !checkPagesWhole(m_path);
    const QByteArray sums = keptFeeSums > 0
        ? '\n' + feeSumsWord.toByteArray() + QByteArray::number(keptFeeSums)
        : QByteArray();
    const QByteArray stamped = sound ? stamp(m_path) : QByteArray();
    // The file's stamp, where the mark could come after its last change; else the
    // hash of its whole content, which takes a start longer to compare.
    const bool written
        = (!stamped.isEmpty() && writeMark(mark, stamped + sums) && changedBefore(m_path, mark))
        || (sound && writeMark(mark, fingerprint(m_path) + sums));
    if (!written)
        QFile::remove(mark);
    releaseReadLock(m_db.get());
}

std::optional<qint64> DatabaseSoundness::dataVersion()
{
    SqlStatement query(m_db.get(), QStringLiteral("PRAGMA data_version"));
    return query.next() ? query.integer(0) : std::nullopt;
}

Failure DatabaseSoundness::checkPagesWhole(const QString &path)
{
    SqlStatement check(m_db.get(), QStringLiteral("PRAGMA quick_check"));
    QStringList findings;
    while (check.next())
        findings.append(check.text(0).value_or(QString()));
    if (check.reachedEnd() && findings == QStringList{QStringLiteral("ok")})
        return Failure::none();
    const int code = sqlite3_errcode(m_db.get()) & 0xff;
    if (!check.reachedEnd() && (code == SQLITE_BUSY || code == SQLITE_LOCKED))
        return Failure(check.failure());
    // The check's first lines name the damage ("*** in database main ***" only heads them).
    findings.removeIf([](const QString &line) { return line.startsWith(QStringLiteral("***")); });
    const QString finding = check.reachedEnd() && !findings.isEmpty()
        ? findings.mid(0, 3).join(QStringLiteral("; "))
        : QString::fromUtf8(sqlite3_errmsg(m_db.get()));
    return Failure(
        QStringLiteral(
            "Die Datenbank %1 ist beschädigt (%2). Bitte Kavo beenden, die Datei sichern und die"
            " letzte Datensicherung zurückholen.")
            .arg(QDir::toNativeSeparators(path), finding));
}

// A record that is written and rolled back again: a full disk, a directory that
// takes no journal or a lock held by another program show here, not at a stop.
Failure DatabaseSoundness::checkTakesRecords(const QString &path)
{
    SqlTransaction trial(m_db.get());
    const Failure failure = trial.isOpen()
        ? exec(m_db.get(), QStringLiteral("INSERT INTO client1 (client1start) VALUES ('Probe')"))
        : Failure(trial.failure());
    if (!failure)
        return Failure::none();
    return Failure(QStringLiteral("Die Datenbank %1 nimmt keine Datensätze an. %2")
                       .arg(QDir::toNativeSeparators(path), failure.text()));
}

// A file renamed or deleted while the console runs would still take writes that
// the next start never sees; it counts as refusing them.
Failure DatabaseSoundness::stillInPlace() const
{
    int moved = 0;
    if (m_db
        && sqlite3_file_control(m_db.get(), "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK
        && moved == 0)
        return Failure::none();
    return Failure(QStringLiteral(
        "Die Datenbankdatei wurde umbenannt, verschoben oder gelöscht; bitte unter ihrem"
        " Namen zurücklegen"));
}
