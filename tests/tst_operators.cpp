#include "Closings.h"
#include "OnDuty.h"
#include "RawDatabase.h"
#include "SignIn.h"
#include "StationSessionRig.h"
#include "TestSupport.h"
#include "TextFormats.h"
#include "UsageDatabaseCase.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

namespace {
const QDate day(2004, 5, 12);
const QString ownerPin = QStringLiteral("4711");
const QString annaPin = QStringLiteral("9876");

// A period of 10 minutes 30 stopped at `stop`.
StoppedPeriod periodStoppedAt(int station, const QTime &stop, const QString &fee)
{
    StoppedPeriod stopped = stoppedPeriod(station, recordWithFee(fee), 630, day.month());
    stopped.stopMoment = QDateTime(day, stop);
    stopped.startMoment = stopped.stopMoment.addSecs(-630);
    return stopped;
}
}

// The owner and the operators, their rights, and what the closing shows of
// corrected starts and voids. The test runs in Europe/Berlin.
class OperatorsTest : public QObject, UsageDatabaseCase
{
    Q_OBJECT

private:
    void setUpOwnerAndAnna()
    {
        QVERIFY(!m_database->setOwnerPin(ownerPin));
        QVERIFY(!m_database->roster().setOperator(QStringLiteral("anna"), annaPin));
    }
    void recordAt(int station, const QTime &stop, const QString &fee)
    {
        QVERIFY(
            writtenNow(m_database->recorder().recordPeriod(periodStoppedAt(station, stop, fee))));
    }

private slots:
    void init() { QVERIFY(makeOpenDatabase()); }
    void cleanup() { dropDatabase(); }

    // Without an owner the file gets no table and no column, everyone may do
    // everything, and nothing can be voided.
    void withoutOwnerNothingChanges()
    {
        const QByteArray schema = "SELECT group_concat(sql, ';') FROM sqlite_master";
        const QString before = RawDatabase(m_path).text(schema);
        QVERIFY(before.contains(QStringLiteral("client1bediener")));
        recordAt(1, QTime(14, 0), QStringLiteral("1,05 €"));
        QCOMPARE(RawDatabase(m_path).text(schema), before);
        QVERIFY(!m_database->roster().hasOwner());
        QVERIFY(!m_database->chain().isActive());
        const OnDuty unguarded;
        QVERIFY(unguarded.may(OnDuty::Options) && unguarded.mayCorrectBy(3600));
        QCOMPARE(m_database->recorder().voidRecord(1, 1, QStringLiteral("Test")).text(),
                 QStringLiteral("Stornieren setzt einen Inhaber voraus (Werkzeuge, Betreiber und"
                                " Rechte)."));
        QCOMPARE(m_database->closings().day(day)->figures.toJson().contains("storno"), false);
    }

    // PINs are kept as Argon2id hashes only: neither the table's values nor the
    // file's bytes hold them; a short or non-digit PIN is refused.
    void pinsNeverStoredInClear()
    {
        setUpOwnerAndAnna();
        RawDatabase raw(m_path);
        const QString stored
            = raw.text("SELECT group_concat(Name || Inhaber || Pin || Geaendert, '|')"
                       " FROM Betreiber");
        QVERIFY(stored.contains(QStringLiteral("$argon2id$")));
        QVERIFY(!stored.contains(ownerPin));
        QVERIFY(!stored.contains(annaPin));
        m_database.reset();
        const QByteArray file = contents(m_path);
        QVERIFY(!file.contains(ownerPin.toLatin1()) && !file.contains(annaPin.toLatin1()));

        m_database = std::make_unique<UsageDatabase>();
        QVERIFY(!m_database->open(m_path));
        OperatorRoster &roster = m_database->roster();
        QVERIFY(roster.hasOwner());
        QCOMPARE(roster.operatorNames(), QStringList{QStringLiteral("anna")});
        QCOMPARE(roster.identify(QStringLiteral("anna"), annaPin)->role, OnDuty::Operator);
        QCOMPARE(roster.identify(QStringLiteral("Inhaber"), ownerPin)->role, OnDuty::Owner);
        QCOMPARE(roster.identify(QStringLiteral("anna"), ownerPin).failure().text(),
                 QStringLiteral("Name oder PIN stimmt nicht."));
        for (const char *bad : {"123", "12a4", ""})
            QCOMPARE(roster.setOperator(QStringLiteral("bert"), QString::fromLatin1(bad)).text(),
                     QStringLiteral("Die PIN muss aus mindestens 4 Ziffern bestehen."));
        QVERIFY(roster.setOperator(QStringLiteral("inhaber"), annaPin));
        QVERIFY(!roster.removeOperator(QStringLiteral("anna")));
        QVERIFY(roster.operatorNames().isEmpty());
    }

    // Five wrong PINs in a row lock sign-in for a minute, even for the right PIN,
    // and leave an incident for the owner; a right PIN in between starts the count anew.
    void signInLocksAfterFiveWrongPins()
    {
        setUpOwnerAndAnna();
        SignIn signIn(m_database->roster(), m_database->incidents());
        const QString anna = QStringLiteral("anna");
        for (int i = 0; i < 4; ++i)
            QVERIFY(!signIn.attempt(anna, QStringLiteral("0000")).hasValue());
        QVERIFY(signIn.attempt(anna, annaPin).hasValue());
        for (int i = 0; i < 4; ++i)
            QVERIFY(!signIn.attempt(anna, QStringLiteral("0000")).hasValue());
        QVERIFY(m_database->incidents().open().isEmpty());
        QCOMPARE(signIn.attempt(anna, QStringLiteral("0000")).failure().text(),
                 QStringLiteral("Nach 5 falschen PINs ist die Anmeldung noch 60 s gesperrt."));
        m_clock.advanceMs(59'000);
        QCOMPARE(signIn.attempt(anna, annaPin).failure().text(),
                 QStringLiteral("Nach 5 falschen PINs ist die Anmeldung noch 1 s gesperrt."));
        m_clock.advanceMs(1'000);
        QCOMPARE(signIn.attempt(anna, annaPin)->name, anna);

        const QList<Incident> incidents = m_database->incidents().open();
        QCOMPARE(incidents.size(), 1);
        QCOMPARE(incidents[0].text,
                 QStringLiteral("Anmeldung für eine Minute gesperrt: 5 falsche PINs in Folge,"
                                " zuletzt für „anna“."));
        QVERIFY(!m_database->incidents().acknowledge(QStringLiteral("Inhaber")));
        QVERIFY(m_database->incidents().open().isEmpty());
    }

    // An operator may correct a start by 5 minutes and take no owner's step; the
    // owner may do all of it.
    void rightsOfOwnerAndOperator()
    {
        const OnDuty anna{QStringLiteral("anna"), OnDuty::Operator};
        const OnDuty owner{QStringLiteral("Inhaber"), OnDuty::Owner};
        for (OnDuty::Step step : {OnDuty::Options, OnDuty::OperatorList, OnDuty::Void,
                                  OnDuty::ReopenDay, OnDuty::ExportRecords}) {
            QVERIFY(!anna.may(step));
            QVERIFY(owner.may(step));
        }
        QVERIFY(anna.mayCorrectBy(300) && anna.mayCorrectBy(-300));
        QVERIFY(!anna.mayCorrectBy(301) && !anna.mayCorrectBy(-301));
        QVERIFY(owner.mayCorrectBy(12 * 3600));
    }

    // A corrected start and a void are in the day's closing with both amounts, the
    // void takes its period, minutes and fee off the totals, the statistics and
    // the closing, and a record is voided once.
    void correctionAndVoidInTheClosing()
    {
        setUpOwnerAndAnna();
        m_database->recorder().setOperatorName(QStringLiteral("anna"));
        StoppedPeriod corrected = periodStoppedAt(1, QTime(12, 8, 20), QStringLiteral("0,15 €"));
        corrected.record.duration = QStringLiteral("00:01:03");
        corrected.durationSeconds = 63;
        corrected.startMoment = QDateTime(day, QTime(12, 7, 17));
        corrected.correction = StoppedPeriod::Correction{QDateTime(day, QTime(12, 6, 41)), 2'500};
        QVERIFY(writtenNow(m_database->recorder().recordPeriod(corrected)));
        recordAt(2, QTime(13, 0), QStringLiteral("4,00 €"));

        m_database->recorder().setOperatorName(QStringLiteral("Inhaber"));
        UsageRecorder &recorder = m_database->recorder();
        QVERIFY(recorder.voidRecord(2, 2, QStringLiteral("  ")));
        QVERIFY(!recorder.voidRecord(2, 2, QStringLiteral("Kunde zahlte nicht")));
        QCOMPARE(recorder.voidRecord(2, 2, QStringLiteral("nochmal")).text(),
                 QStringLiteral("Beleg Nr. 2 ist schon storniert."));
        QCOMPARE(recorder.voidRecord(2, 3, QStringLiteral("nochmal")).text(),
                 QStringLiteral("Beleg Nr. 3 ist selbst ein Storno."));
        QCOMPARE(recorder.voidRecord(1, 2, QStringLiteral("falsch")).text(),
                 QStringLiteral("Station 1 hat keinen Beleg Nr. 2."));
        QCOMPARE(recorder.readTotalFees(2), 0);
        QCOMPARE(recorder.readTotalMinutes(2), 0);
        QCOMPARE(m_database->statistics().sumMonthMinutes(2, QStringLiteral("05.2004")), 0);
        // The list a void is picked from marks the voided record and the void.
        const QList<DayRecord> listed = m_database->dayRecords().of(2, day).valueOr({});
        QCOMPARE(listed.size(), 2);
        QCOMPARE(listed[0].number, 2);
        QCOMPARE(listed[0].feeUnits, 40'000);
        QCOMPARE(listed[0].operatorName, QStringLiteral("anna"));
        QCOMPARE(listed[0].state, DayRecord::Voided);
        QCOMPARE(listed[1].state, DayRecord::CounterRecord);
        QVERIFY(m_database->dayRecords().of(1, day)->at(0).mayVoid());
        QVERIFY(m_database->dayRecords().of(2, day.addDays(-1))->isEmpty());

        const std::optional<Closing> closing = m_database->closings().day(day);
        QVERIFY(closing);
        const ClosingFigures &figures = closing->figures;
        QCOMPARE(figures.stations.value(2), (ClosingSum{0, 0, 0}));
        QCOMPARE(figures.total, (ClosingSum{1, 1, 1'500}));
        QCOMPARE(figures.operators.value(QStringLiteral("Inhaber")),
                 (ClosingSum{-1, -10, -40'000}));
        QCOMPARE(figures.corrections.size(), 1);
        const ClosingCorrection &correction = figures.corrections[0];
        QCOMPARE(correction.billedStart, QDateTime(day, QTime(12, 7, 17)));
        QCOMPARE(correction.realStart, QDateTime(day, QTime(12, 6, 41)));
        QCOMPARE(correction.operatorName, QStringLiteral("anna"));
        QCOMPARE(correction.difference(), -1'000);
        QCOMPARE(figures.voids,
                 (QList<ClosingVoid>{{2, 3, 2, -40'000, QStringLiteral("Inhaber"),
                                      QStringLiteral("Kunde zahlte nicht")}}));
        QCOMPARE(closing->chainHead.size(), 64);

        // Saved, the closing keeps both lists and shows its own entry of the chain.
        Closing toSave = *closing;
        QVERIFY(!m_database->closings().save(toSave));
        const std::optional<Closing> saved = m_database->closings().day(day);
        QCOMPARE(saved->figures, figures);
        QVERIFY(!saved->changedSince);
        QCOMPARE(saved->chainHead, m_database->chain().head());
        QVERIFY(saved->chainHead != closing->chainHead);
    }

    // An operator's correction of the start box counts up to 5 minutes; beyond, the
    // period is billed from its real start and he is told. The corrected record
    // keeps its real start and fee beside the billed ones.
    void operatorCorrectsStartByFiveMinutesAtMost()
    {
        removeClock();
        const auto restoreClock = qScopeGuard([this] { installClock(); });
        const QDateTime start(QDate(2026, 4, 2), QTime(14, 7, 30));
        StationSessionRig rig(start);
        QVERIFY(!rig.database().setOwnerPin(ownerPin));
        StationSession &session = rig.session();
        session.setOnDuty({QStringLiteral("anna"), OnDuty::Operator});
        QSignalSpy problems(&session, &StationSession::problem);
        for (const char *edited : {"14:01:30", "14:13:30"}) {
            session.start(0);
            session.correctStartText(QString::fromLatin1(edited));
            rig.clock().advanceMs(600'000);
            session.stop();
        }
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems[0][0].toString(),
                 QStringLiteral("Station 1: Die Startzeit darf nur der Inhaber um mehr als 5"
                                " Minuten korrigieren. Abgerechnet wurde ab dem tatsächlichen"
                                " Start um 14:07:30."));
        const QList<ClosingCorrection> corrections
            = rig.database().closings().day(start.date())->figures.corrections;
        QCOMPARE(corrections.size(), 1);
        QCOMPARE(corrections[0].realStart, start.addSecs(600));
        QCOMPARE(corrections[0].billedStart, start.addSecs(600 - 240));
        QVERIFY(corrections[0].difference() > 0);
    }

    // A tariff change is kept with its moment and who made it; a report or closing
    // over a time sees the tariffs in force at its start and those set since.
    void tariffHistoryShowsWhatWasInForce()
    {
        m_clock.setNow(QDateTime(day, QTime(10, 0)));
        setUpOwnerAndAnna();
        TariffHistory &history = m_database->tariffHistory();
        const Tariffs demo{QStringLiteral("1,50"), QStringLiteral("1,20"), QStringLiteral("1,00")};
        const QDateTime first = m_clock.now();
        QVERIFY(!history.note(demo, QStringLiteral("Inhaber")));
        m_clock.advanceMs(3600'000);
        QVERIFY(!history.note(demo, QStringLiteral("anna")));
        Tariffs cheap = demo;
        cheap.base = QStringLiteral("0,50");
        QVERIFY(!history.note(cheap, QStringLiteral("Inhaber")));

        const QList<TariffPeriod> all = history.inForce(first.addDays(-1), first.addDays(1));
        QCOMPARE(all.size(), 2);
        QCOMPARE(all[0].from, first);
        QCOMPARE(all[1].from, first.addSecs(3600));
        QCOMPARE(all[1].tariffs.base, QStringLiteral("0,50"));
        QCOMPARE(all[1].operatorName, QStringLiteral("Inhaber"));
        const QList<TariffPeriod> late = history.inForce(first.addSecs(7200), first.addSecs(10800));
        QCOMPARE(late.size(), 1);
        QCOMPARE(late[0].tariffs.base, QStringLiteral("0,50"));
        // The day's closing names both; the history lists every change.
        const QList<TariffPeriod> ofDay = m_database->closings().day(day)->tariffs;
        QCOMPARE(ofDay.size(), 2);
        QCOMPARE(ofDay[1].tariffs.base, QStringLiteral("0,50"));
        QCOMPARE(history.all().size(), 2);
    }
};

QTEST_GUILESS_MAIN(OperatorsTest)
#include "tst_operators.moc"
