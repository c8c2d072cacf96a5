#include "Billing.h"
#include "ConsoleFixture.h"
#include "TestSupport.h"
#include "UsageDatabase.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <sqlite3.h>

namespace {
constexpr int kills = 200;

// Reads the file with the engine directly, apart from the console's own code.
class IndependentReader
{
public:
    explicit IndependentReader(const QString &path)
    {
        // Read-write, so that a journal left by the killed process is rolled back.
        sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(m_db, "PRAGMA key = 'qrtdb52'", nullptr, nullptr, nullptr);
    }
    ~IndependentReader() { sqlite3_close(m_db); }

    QList<QVariantList> rows(const char *sql)
    {
        QList<QVariantList> result;
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK) {
            m_failed = true;
            return result;
        }
        while (sqlite3_step(statement) == SQLITE_ROW) {
            QVariantList row;
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                row.append(sqlite3_column_type(statement, column) == SQLITE_NULL
                               ? QVariant()
                               : QVariant(QString::fromUtf8(
                                     reinterpret_cast<const char *>(sqlite3_column_text(statement, column)))));
            }
            result.append(row);
        }
        sqlite3_finalize(statement);
        return result;
    }
    bool failed() const { return m_failed; }

private:
    sqlite3 *m_db = nullptr;
    bool m_failed = false;
};

qint64 secondsOf(const QString &duration)
{
    const QStringList parts = duration.split(QLatin1Char(':'));
    return parts.size() == 3 ? parts[0].toLongLong() * 3600 + parts[1].toLongLong() * 60 + parts[2].toLongLong() : -1;
}
}

class CrashSafetyTest : public QObject
{
    Q_OBJECT

private slots:
    void killedConsoleLeavesWholeRecordsCountedOnce()
    {
        ConsoleFixture fixture;
        QTemporaryDir settings;
        qsizetype records = 0;
        for (int round = 0; round < kills; ++round) {
            QProcess console;
            console.setProgram(QStringLiteral(KAVO_TEST_HELPERS_DIR "/stopping_console"));
            console.setArguments({fixture.programDir(), settings.path()});
            console.start();
            QVERIFY(console.waitForStarted());
            QVERIFY2(console.waitForReadyRead(5000), console.readAllStandardError().constData());
            QTest::qWait(int(QRandomGenerator::global()->bounded(1, 60)));
            console.kill();
            QVERIFY(console.waitForFinished());

            IndependentReader reader(fixture.databasePath());
            const QList<QVariantList> rows =
                reader.rows("SELECT client1start, client1ende, client1dauer, client1kosten, client1datum FROM client1");
            QVERIFY2(!reader.failed(), "the file no longer opens with its key");
            qint64 feeUnits = 0;
            qint64 minutes = 0;
            for (const QVariantList &row : rows) {
                for (const QVariant &field : row)
                    QVERIFY2(!field.isNull(), "half a record");
                feeUnits += row[3].toLongLong();
                minutes += Billing::wholeMinutes(secondsOf(row[2].toString()));
            }
            const QList<QVariantList> totals = reader.rows("SELECT Nutzungszeit, Entgeld FROM client1stat");
            QCOMPARE(totals.size(), 1);
            QCOMPARE(totals[0][1].toLongLong(), feeUnits);
            QCOMPARE(totals[0][0].toLongLong(), minutes);
            QVERIFY(rows.size() >= records);
            records = rows.size();
        }
        qInfo("%d kills survived, %lld records", kills, qint64(records));
        QVERIFY(records > kills);
    }
};

QTEST_MAIN(CrashSafetyTest)
#include "tst_crashsafety.moc"
