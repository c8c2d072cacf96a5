#include "RawDatabase.h"
#include "UsageDatabaseCase.h"

#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

// Whether a file is fit to work on: refused files, damage found though a close found the file
// sound.
class DatabaseSoundnessTest : public QObject, UsageDatabaseCase
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(makeDatabase()); }
    void cleanup() { dropDatabase(); }

    void openRefusesBrokenFiles()
    {
        const QString missing = m_dir->filePath(QStringLiteral("fehlt.mde"));
        QString error = m_database->open(missing).text();
        QVERIFY(error.contains(QStringLiteral("fehlt.mde")));
        QVERIFY(!QFile::exists(missing));

        const QString otherKey = m_dir->filePath(QStringLiteral("anders.mde"));
        RawDatabase(otherKey, "geheim").exec("CREATE TABLE client1 (x)");
        error = m_database->open(otherKey).text();
        QVERIFY2(
            error.startsWith(QStringLiteral("Die Datei %1 ist keine Kavo-Datenbank").arg(otherKey)),
            qPrintable(error));

        RawDatabase(m_path).exec("DROP TABLE client2stat");
        error = m_database->open(m_path).text();
        QVERIFY2(error.startsWith(QStringLiteral("Der Datenbank %1 fehlt eine Tabelle").arg(m_path))
                     && error.endsWith(QStringLiteral("(no such table: client2stat)")),
                 qPrintable(error));

        RawDatabase(m_path).exec("CREATE TABLE client2stat (Nutzungszeit INTEGER);");
        error = m_database->open(m_path).text();
        QVERIFY2(error.endsWith(QStringLiteral("(no such column: Entgeld)")), qPrintable(error));
        QVERIFY(!m_database->recorder().readTotalMinutes(1).has_value());
        QVERIFY(!record(1, recordWithFee(QStringLiteral("1,05 €")), 630).hasValue());
    }

    // A start takes a file as sound without reading every page only while it is byte
    // for byte as it was when a close last found its pages sound: damage after the
    // close, or while a connection holds the pages, is found all the same.
    void damageIsFoundThoughTheFileWasFoundSoundBefore()
    {
        const auto damage = [](const QString &path) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(1024 + 512); // in the page of the records of station 1
            file.write(QByteArray(64, '\x5a'));
        };
        const QString other = m_dir->filePath(QStringLiteral("zweite.mde"));
        QVERIFY(!UsageDatabase::create(other));
        for (const QString &path : {m_path, other}) {
            m_database = std::make_unique<UsageDatabase>();
            QVERIFY(!m_database->open(path));
            QVERIFY(recordOn(1, QDate(2004, 5, 3), QStringLiteral("1,05 €")));
            if (path == m_path) {
                m_database.reset();
                QVERIFY(QFile::exists(UsageDatabase::checkedMarkPathFor(path)));
                damage(path);
            } else {
                QCOMPARE(m_database->statistics().exportStation(1)->rows.size(), 1);
                damage(path);
                m_database.reset();
                QVERIFY(!QFile::exists(UsageDatabase::checkedMarkPathFor(path)));
            }
            m_database = std::make_unique<UsageDatabase>();
            const QString error = m_database->open(path).text();
            QVERIFY2(error.contains(QStringLiteral("beschädigt")), qPrintable(error));
        }
    }

    // A close after the file's last change marks the file's stamp, which the next
    // start compares without reading the file: a change since, even with the file's
    // size and modification time put back as a restored copy has them, is checked.
    void changeWithRestoredTimesIsFound()
    {
        QVERIFY(!m_database->open(m_path));
        QVERIFY(recordOn(1, QDate(2004, 5, 3), QStringLiteral("1,05 €")));
        QTest::qWait(20); // the close in a later tick of the file system's clock
        m_database.reset();
        QVERIFY(contents(UsageDatabase::checkedMarkPathFor(m_path)).startsWith("Stand "));
        struct stat before = {};
        QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &before), 0);
        {
            QFile file(m_path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.seek(1024 + 512);
            file.write(QByteArray(64, '\x5a'));
        }
        const timespec times[2] = {before.st_atim, before.st_mtim};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(m_path).constData(), times, 0), 0);
        m_database = std::make_unique<UsageDatabase>();
        const QString error = m_database->open(m_path).text();
        QVERIFY2(error.contains(QStringLiteral("beschädigt")), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(DatabaseSoundnessTest)
#include "tst_databasesoundness.moc"
