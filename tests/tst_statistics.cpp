#include "ConsoleFixture.h"
#include "ManualClock.h"
#include "ScopedClock.h"
#include "StationSession.h"
#include "TestSupport.h"
#include "UsageDatabase.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
// Records a period of `seconds` as the console would, stopped now by the clock.
void record(UsageDatabase &database, int station, const QString &duration, const QString &fee,
            qint64 seconds)
{
    const UsageRecord usage{QStringLiteral("10:00:00"), QStringLiteral("11:00:00"), duration, fee};
    const QDateTime now = Clock::current().now();
    StoppedPeriod stopped = stoppedPeriod(station, usage, seconds, now.date().month());
    stopped.startMoment = now.addSecs(-seconds);
    stopped.stopMoment = now;
    QVERIFY(writtenNow(database.recorder().recordPeriod(stopped)));
}
}

class StatisticsTest : public QObject
{
    Q_OBJECT

private:
    // Fills station 1 with records of March and November of two years.
    void fillMarchAndNovember(const QString &databasePath)
    {
        UsageDatabase database;
        const Failure failure = database.open(databasePath);
        QVERIFY2(!failure, qPrintable(failure.text()));
        ManualClock clock(QDateTime(QDate(2025, 11, 3), QTime(10, 0)));
        ScopedClock guard(clock);
        record(database, 1, QStringLiteral("00:30:00"), QStringLiteral("2,40 €"), 1800);
        clock.setNow(QDateTime(QDate(2026, 3, 9), QTime(10, 0)));
        record(database, 1, QStringLiteral("00:10:30"), QStringLiteral("1,05 €"), 630);
        clock.setNow(QDateTime(QDate(2026, 11, 20), QTime(10, 0)));
        record(database, 1, QStringLiteral("01:00:00"), QStringLiteral("4,00 €"), 3600);
    }

    static QLineEdit *box(MainWindow &window, const char *name)
    {
        return window.findChild<QLineEdit *>(QString::fromLatin1(name));
    }

private slots:
    // Each of more than two stations shows its own figures, exported to its own
    // workbook.
    void aFurtherStationHasFiguresOfItsOwn()
    {
        ConsoleFixture fixture;
        fixture.useStations(6);
        {
            UsageDatabase database;
            const Failure failure = database.open(fixture.databasePath(), 6);
            QVERIFY2(!failure, qPrintable(failure.text()));
            record(database, 5, QStringLiteral("00:30:00"), QStringLiteral("2,40 €"), 1800);
        }
        QVERIFY(fixture.start());
        MainWindow &window = fixture.window();
        QCOMPARE(window.view(5).statistics().months->count(), 1);
        QCOMPARE(box(window, "tfNutzungszeit5")->text(), QStringLiteral("30"));
        QCOMPARE(box(window, "tfEntgeld5")->text(), QStringLiteral("2,4"));
        QCOMPARE(window.view(6).statistics().months->count(), 0);
        QCOMPARE(box(window, "tfEntgeld6")->text(), QString());

        MessageRecorder messages;
        window.findChild<QAction *>(QStringLiteral("mnuFileExport"))->trigger();
        for (int station = 1; station <= 6; ++station)
            QVERIFY(QFile::exists(QDir(fixture.programDir())
                                      .filePath(QStringLiteral("zeitclient%1.xls").arg(station))));
    }

    void emptyStationShowsOnlyItsStoredMinutes()
    {
        ConsoleFixture fixture;
        QVERIFY(fixture.start());
        MainWindow &window = fixture.window();
        QCOMPARE(window.view(1).statistics().months->count(), 0);
        QCOMPARE(window.view(1).statistics().months->currentText(), QString());
        QCOMPARE(box(window, "tfEntgeld1")->text(), QString());
        QCOMPARE(box(window, "tfNutzungszeit1")->text(), QStringLiteral("0"));
    }

    // November of one year is not November of another.
    void monthsAreListedInOrderWithTheirYear()
    {
        ConsoleFixture fixture;
        fillMarchAndNovember(fixture.databasePath());
        QVERIFY(fixture.start());
        MainWindow &window = fixture.window();
        QComboBox *months = window.view(1).statistics().months;
        QCOMPARE(months->count(), 3);
        QCOMPARE(months->itemText(0), QStringLiteral("11.2025"));
        QCOMPARE(months->itemText(1), QStringLiteral("03.2026"));
        QCOMPARE(months->itemText(2), QStringLiteral("11.2026"));
        QCOMPARE(months->currentIndex(), -1);
        QCOMPARE(box(window, "tfEntgeld1")->text(), QStringLiteral("7,45"));
        QCOMPARE(box(window, "tfNutzungszeit1")->text(),
                 QStringLiteral("100")); // 10.5 minutes count as 10, halves to even
        QCOMPARE(window.view(2).statistics().months->count(), 0);

        months->setCurrentIndex(2);
        emit months->activated(2);
        QCOMPARE(box(window, "tfMEuro1")->text(), QStringLiteral("4"));
        QCOMPARE(box(window, "tfMMinuten1")->text(), QStringLiteral("60"));
    }

    // Typed text is no new month: "Mai" + Enter adds nothing and sums nothing, a typed
    // month that is listed is chosen as if picked from the list.
    void typedMonthsAreNoEntries()
    {
        ConsoleFixture fixture;
        fillMarchAndNovember(fixture.databasePath());
        QVERIFY(fixture.start());
        MainWindow &window = fixture.window();
        QComboBox *months = window.view(1).statistics().months;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QTest::keyClicks(months->lineEdit(), QStringLiteral("Mai"));
        QTest::keyClick(months->lineEdit(), Qt::Key_Return);
        QCOMPARE(months->count(), 3);
        QCOMPARE(box(window, "tfMEuro1")->text(), QString());

        months->lineEdit()->clear();
        QTest::keyClicks(months->lineEdit(), QStringLiteral("11.2026"));
        QTest::keyClick(months->lineEdit(), Qt::Key_Return);
        QCOMPARE(months->count(), 3);
        QCOMPARE(months->currentIndex(), 2);
        QCOMPARE(box(window, "tfMEuro1")->text(), QStringLiteral("4"));
    }

    void aStopChangesOnlyThatStationsTotals()
    {
        ConsoleFixture fixture;
        fillMarchAndNovember(fixture.databasePath());
        ManualClock clock(QDateTime(QDate(2026, 12, 1), QTime(9, 0)));
        ScopedClock guard(clock);
        QVERIFY(fixture.start());
        MainWindow &window = fixture.window();
        QComboBox *months = window.view(1).statistics().months;
        months->setCurrentIndex(0);
        emit months->activated(0);
        const QString marchFees = box(window, "tfMEuro1")->text();

        window.panel(1).withoutStation->click();
        window.panel(1).start->click();
        clock.advanceMs(900'000);
        window.panel(1).stop->click();

        QCOMPARE(box(window, "tfNutzungszeit1")->text(), QStringLiteral("115"));
        QCOMPARE(box(window, "tfEntgeld1")->text(), QStringLiteral("8,95"));
        QCOMPARE(box(window, "tfNutzungszeit2")->text(), QStringLiteral("0"));
        QCOMPARE(box(window, "tfEntgeld2")->text(), QString());
        QCOMPARE(months->count(), 3);
        QCOMPARE(box(window, "tfMEuro1")->text(), marchFees);
    }
};

QTEST_MAIN(StatisticsTest)
#include "tst_statistics.moc"
