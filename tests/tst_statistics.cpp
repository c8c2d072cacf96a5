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

// The statistics cell under each station's panel: its boxes by name, the sums as
// the window writes them, and the month list. The sums themselves are the
// statistics' (tst_usagestatistics), the totals after a stop the session's
// (tst_consoleapp).
class StatisticsTest : public QObject
{
    Q_OBJECT

private:
    // Six stations; station 1 with records of March and November of two years,
    // station 5 with one.
    static void fill(ConsoleFixture &fixture)
    {
        fixture.useStations(6);
        UsageDatabase database;
        const Failure failure = database.open(fixture.databasePath(), 6);
        QVERIFY2(!failure, qPrintable(failure.text()));
        ManualClock clock(QDateTime(QDate(2025, 11, 3), QTime(10, 0)));
        ScopedClock guard(clock);
        record(database, 1, QStringLiteral("00:30:00"), QStringLiteral("2,40 €"), 1800);
        record(database, 5, QStringLiteral("00:30:00"), QStringLiteral("2,40 €"), 1800);
        clock.setNow(QDateTime(QDate(2026, 3, 9), QTime(10, 0)));
        record(database, 1, QStringLiteral("00:10:30"), QStringLiteral("1,05 €"), 630);
        clock.setNow(QDateTime(QDate(2026, 11, 20), QTime(10, 0)));
        record(database, 1, QStringLiteral("01:00:00"), QStringLiteral("4,00 €"), 3600);
    }

    static QString text(MainWindow &window, const char *name)
    {
        return window.findChild<QLineEdit *>(QString::fromLatin1(name))->text();
    }

    static void pickMonth(QComboBox *months, int index)
    {
        months->setCurrentIndex(index);
        emit months->activated(index);
    }

private slots:
    // Each station's cell shows its own sums, none chosen month; a station without
    // records shows its stored minutes and no takings. Every station is exported to
    // its own workbook.
    void eachCellShowsItsStationsSums()
    {
        ConsoleFixture fixture;
        fill(fixture);
        QVERIFY(fixture.start());
        MainWindow &window = fixture.window();
        QComboBox *months = window.view(1).statistics().months;
        QCOMPARE(months->count(), 3);
        QCOMPARE(months->itemText(0), QStringLiteral("11.2025"));
        QCOMPARE(months->itemText(2), QStringLiteral("11.2026"));
        QCOMPARE(months->currentIndex(), -1);
        QCOMPARE(text(window, "tfEntgeld1"), QStringLiteral("7,45"));
        QCOMPARE(text(window, "tfNutzungszeit1"), QStringLiteral("100"));
        QCOMPARE(text(window, "tfEntgeld5"), QStringLiteral("2,4"));
        QCOMPARE(text(window, "tfEntgeld6"), QString());
        QCOMPARE(text(window, "tfNutzungszeit6"), QStringLiteral("0"));
        pickMonth(months, 2);
        QCOMPARE(text(window, "tfMEuro1"), QStringLiteral("4"));
        QCOMPARE(text(window, "tfMMinuten1"), QStringLiteral("60"));

        MessageRecorder messages;
        window.findChild<QAction *>(QStringLiteral("mnuFileExport"))->trigger();
        for (int station = 1; station <= 6; ++station)
            QVERIFY(QFile::exists(QDir(fixture.programDir())
                                      .filePath(QStringLiteral("zeitclient%1.xls").arg(station))));
    }

    // Typed text is no new month: "Mai" + Enter adds nothing and sums nothing, a typed
    // month that is listed is chosen as if picked from the list.
    void typedMonthsAreNoEntries()
    {
        ConsoleFixture fixture;
        fill(fixture);
        QVERIFY(fixture.start());
        MainWindow &window = fixture.window();
        QComboBox *months = window.view(1).statistics().months;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QTest::keyClicks(months->lineEdit(), QStringLiteral("Mai"));
        QTest::keyClick(months->lineEdit(), Qt::Key_Return);
        QCOMPARE(months->count(), 3);
        QCOMPARE(text(window, "tfMEuro1"), QString());

        months->lineEdit()->clear();
        QTest::keyClicks(months->lineEdit(), QStringLiteral("11.2026"));
        QTest::keyClick(months->lineEdit(), Qt::Key_Return);
        QCOMPARE(months->count(), 3);
        QCOMPARE(months->currentIndex(), 2);
        QCOMPARE(text(window, "tfMEuro1"), QStringLiteral("4"));
    }

    // A stop rewrites the cell's totals from the session; the month list and the
    // chosen month stay as they were.
    void aStopRewritesTheTotalsOnly()
    {
        ConsoleFixture fixture;
        fill(fixture);
        ManualClock clock(QDateTime(QDate(2026, 12, 1), QTime(9, 0)));
        ScopedClock guard(clock);
        QVERIFY(fixture.start());
        MainWindow &window = fixture.window();
        QComboBox *months = window.view(1).statistics().months;
        pickMonth(months, 0);
        const QString novemberFees = text(window, "tfMEuro1");

        window.panel(1).withoutStation->click();
        window.panel(1).start->click();
        clock.advanceMs(900'000);
        window.panel(1).stop->click();

        QCOMPARE(text(window, "tfNutzungszeit1"), QStringLiteral("115"));
        QCOMPARE(text(window, "tfEntgeld1"), QStringLiteral("8,95"));
        QCOMPARE(months->count(), 3);
        QCOMPARE(text(window, "tfMEuro1"), novemberFees);
    }
};

QTEST_MAIN(StatisticsTest)
#include "tst_statistics.moc"
