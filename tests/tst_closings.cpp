#include "ChainCheck.h"
#include "ClosingDesk.h"
#include "Closings.h"
#include "RawDatabase.h"
#include "TestSupport.h"
#include "UsageDatabaseCase.h"

#include <QTest>

namespace {
const QDate day(2004, 5, 12);

QDateTime at(int hour, int minute)
{
    return QDateTime(day, QTime(hour, minute));
}
}

// The day's and the shift's closing over the records. The test runs in Europe/Berlin.
class ClosingsTest : public QObject, UsageDatabaseCase
{
    Q_OBJECT

private:
    void recordDated(int station, const QDateTime &stop, const QString &fee)
    {
        QVERIFY(writtenNow(m_database->recorder().recordPeriod(datedPeriod(station, stop, fee))));
    }
    Closings &closings() { return m_database->closings(); }

private slots:
    void init()
    {
        m_clock.setNow(at(14, 0));
        QVERIFY(makeDatabase());
        QVERIFY(!m_database->open(m_path));
    }
    void cleanup() { dropDatabase(); }

    // Only dated records stopped on the day count, per station, per operator and in
    // all; an undated record of the same month and one of the next day stay out.
    void dayFiguresPerStationAndOperator()
    {
        recordDated(1, at(9, 0), QStringLiteral("1,00 €"));
        recordDated(1, at(23, 59), QStringLiteral("0,50 €"));
        recordDated(2, at(12, 0), QStringLiteral("2,00 €"));
        recordDated(2, QDateTime(day.addDays(1), QTime(0, 0)), QStringLiteral("9,00 €"));
        QVERIFY(recordOn(2, day, QStringLiteral("7,00 €")));
        QVERIFY(RawDatabase(m_path).exec("UPDATE client2 SET client2bediener = 'anna'"
                                         " WHERE client2nummer = 3"));

        const std::optional<Closing> closing = closings().day(day, {{1, 25, 12'500}});
        QVERIFY(closing);
        QVERIFY(!closing->isSaved());
        const QString user = m_database->recorder().operatorName();
        QCOMPARE(closing->figures.stations,
                 (QMap<int, ClosingSum>{{1, {2, 20, 15'000}}, {2, {1, 10, 20'000}}}));
        QCOMPARE(closing->figures.operators,
                 (QMap<QString, ClosingSum>{{user, {2, 20, 15'000}},
                                            {QStringLiteral("anna"), {1, 10, 20'000}}}));
        QCOMPARE(closing->figures.total, (ClosingSum{3, 30, 35'000}));
        QCOMPARE(closing->figures.running, QList<RunningFigure>({{1, 25, 12'500}}));
        QCOMPARE(closing->figures.undated, (ClosingSum{1, 0, 70'000}));
        QCOMPARE(closing->fingerprint.size(), 64);

        // Saved, every figure comes back from the closing, the undated ones too.
        Closing saved = *closing;
        QVERIFY(!closings().save(saved));
        QVERIFY(RawDatabase(m_path).exec("DELETE FROM client2 WHERE client2bis IS NULL"));
        QCOMPARE(closings().day(day)->figures, closing->figures);
    }

    // A closed day is shown from its closing; a record changed behind the console's
    // back afterwards is reported, and the day can't be closed twice.
    void closedDayShownFromClosingAndChangesReported()
    {
        recordDated(1, at(9, 0), QStringLiteral("1,00 €"));
        std::optional<Closing> closing = closings().day(day);
        QVERIFY(closing);
        QVERIFY(!closings().save(*closing));
        QCOMPARE(closing->number, 1);
        QCOMPARE(RawDatabase(m_path)
                     .value("SELECT Fingerabdruck = '" + closing->fingerprint.toLatin1()
                            + "' AND Nummer = 1 AND Art = 'Tag' FROM Abschluesse")
                     .toInt(),
                 1);

        recordDated(1, at(10, 0), QStringLiteral("3,00 €")); // a late record of the day
        std::optional<Closing> shown = closings().day(day);
        QVERIFY(shown);
        QCOMPARE(shown->number, 1);
        QCOMPARE(shown->figures.total, (ClosingSum{1, 10, 10'000}));
        QVERIFY(shown->changedSince);

        QVERIFY(RawDatabase(m_path).exec("DELETE FROM client1 WHERE client1nummer = 2"));
        QVERIFY(!closings().day(day)->changedSince);
        QVERIFY(RawDatabase(m_path).exec("UPDATE client1 SET client1kosten = 1000"));
        shown = closings().day(day);
        QVERIFY(shown->changedSince);
        QCOMPARE(
            shown->changeNotice(),
            QStringLiteral("Die Aufzeichnungen dieses Tages wurden nach dem Abschluss verändert."));

        const Failure again = closings().save(*closing);
        QVERIFY(again);
        QCOMPARE(again.text(),
                 QStringLiteral("Der 12.05.2004 ist schon abgeschlossen (Abschluss Nr. 1)."));
    }

    // Each shift covers the records since the shift closed before; closing one
    // starts the next, and the day's closing covers both.
    void shiftsCoverTheirOwnRecords()
    {
        recordDated(1, at(9, 0), QStringLiteral("1,00 €"));
        std::optional<Closing> first = closings().shift(at(14, 0), QStringLiteral("anna"));
        QVERIFY(first);
        QCOMPARE(first->from, at(0, 0));
        QVERIFY(!closings().save(*first));
        recordDated(2, at(14, 0), QStringLiteral("2,00 €"));
        recordDated(2, at(18, 0), QStringLiteral("0,50 €"));
        std::optional<Closing> second = closings().shift(at(20, 0), QStringLiteral("ben"));
        QVERIFY(second);
        QVERIFY(!closings().save(*second));

        QCOMPARE(first->figures.total, (ClosingSum{1, 10, 10'000}));
        QCOMPARE(second->from, at(14, 0));
        QCOMPARE(second->figures.total, (ClosingSum{2, 20, 25'000}));
        QCOMPARE(second->number, 2);
        QCOMPARE(closings().shift(at(21, 0), QStringLiteral("anna"))->figures.total, ClosingSum());
        QCOMPARE(closings().day(day)->figures.total, (ClosingSum{3, 30, 35'000}));
    }

    // At the desk: the shift on duty is the operator's, lists what runs now and,
    // closed, gives way to the next shift, begun empty at the closing's moment.
    // Today's day lists what runs; another day does not, and a day to come can't
    // be closed.
    void deskClosesShiftsAndDays()
    {
        QList<RunningFigure> running{{2, 5, 2'500}};
        ClosingDesk desk(closings(), m_database->recorder(), [&] { return running; });
        recordDated(1, at(9, 0), QStringLiteral("1,00 €"));
        const Result<Closing> first = desk.closeShift();
        QVERIFY(first.hasValue());
        QCOMPARE(first->number, 1);
        QCOMPARE(first->to, at(14, 0));
        QCOMPARE(first->operatorName, m_database->recorder().operatorName());
        QCOMPARE(first->figures.total, (ClosingSum{1, 10, 10'000}));
        QCOMPARE(first->figures.running, running);

        m_clock.setNow(at(15, 0));
        const Result<Closing> next = desk.shift();
        QVERIFY(next.hasValue());
        QVERIFY(!next->isSaved() && desk.mayClose(next.value()));
        QCOMPARE(next->from, at(14, 0));
        QCOMPARE(next->figures.total, ClosingSum());
        recordDated(2, at(14, 30), QStringLiteral("2,00 €"));
        QCOMPARE(desk.closeShift()->figures.total, (ClosingSum{1, 10, 20'000}));
        QCOMPARE(desk.shift()->figures.total, ClosingSum());

        QCOMPARE(desk.day(day.addDays(-1))->figures.running, QList<RunningFigure>());
        const Result<Closing> tomorrow = desk.closeDay(day.addDays(1));
        QVERIFY(!desk.mayClose(desk.day(day.addDays(1)).value()));
        QCOMPARE(tomorrow.failure().text(),
                 QStringLiteral(
                     "Ein Tag, der noch nicht begonnen hat, kann nicht abgeschlossen werden."));
        const Result<Closing> today = desk.closeDay(day);
        QCOMPARE(today->number, 3);
        QCOMPARE(today->figures.total, (ClosingSum{2, 20, 30'000}));
        QVERIFY(!desk.mayClose(desk.day(day).value()));
        QVERIFY(desk.closeDay(day).failure());
    }

    // A closed day is reopened only with the owner's PIN and a reason, never
    // deleted: the reopening is an entry on the chain of its own, and the day is
    // closed again under a new number that lists it.
    void reopenedDayClosedAgain()
    {
        QVERIFY(!m_database->setOwnerPin(QStringLiteral("4711")));
        ClosingDesk desk(closings(), m_database->recorder(), [] { return QList<RunningFigure>(); });
        recordDated(1, at(9, 0), QStringLiteral("1,00 €"));
        QCOMPARE(desk.closeDay(day)->number, 1);
        QVERIFY(desk.reopenNeedsOwnerPin());
        QCOMPARE(desk.reopenDay(day, QStringLiteral("1234"), QStringLiteral("Nachtrag"))
                     .failure()
                     .text(),
                 QStringLiteral("Die PIN des Inhabers stimmt nicht."));
        QVERIFY(desk.reopenDay(day, QStringLiteral("4711"), QStringLiteral("  ")).failure());
        QVERIFY(desk.day(day)->isSaved());

        m_clock.setNow(at(16, 0));
        const Result<Closing> reopened
            = desk.reopenDay(day, QStringLiteral("4711"), QStringLiteral("Nachtrag Station 2"));
        QVERIFY(reopened.hasValue());
        QVERIFY(!reopened->isSaved() && desk.mayClose(reopened.value()));
        const QList<ClosingReopening> expected{
            {2, 1, at(16, 0), QStringLiteral("Inhaber"), QStringLiteral("Nachtrag Station 2")}};
        QCOMPARE(reopened->reopenings, expected);
        QVERIFY(desk.reopenDay(day, QStringLiteral("4711"), QStringLiteral("noch mal")).failure());

        recordDated(2, at(15, 0), QStringLiteral("2,00 €"));
        const Result<Closing> again = desk.closeDay(day);
        QCOMPARE(again->number, 3);
        QCOMPARE(again->figures.total, (ClosingSum{2, 20, 30'000}));
        QCOMPARE(desk.day(day)->reopenings, expected);
        QVERIFY(desk.closeDay(day).failure());
        QCOMPARE(RawDatabase(m_path).value("SELECT count(*) FROM Abschluesse").toInt(), 3);
        const std::unique_ptr<ChainCheck> check = m_database->chainCheck(ChainCheck::Whole);
        check->run();
        QCOMPARE(check->findings(), QStringList());
    }
};

QTEST_GUILESS_MAIN(ClosingsTest)
#include "tst_closings.moc"
