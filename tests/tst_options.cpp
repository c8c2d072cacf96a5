#include "ConsoleConfig.h"
#include "GermanQtTexts.h"
#include "IniFile.h"
#include "OptionsDialog.h"
#include "PreSharedKey.h"
#include "ProgramEnd.h"
#include "StationAddressRule.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
const QString restartMessage
    = QStringLiteral("Das Programm muss neu gestartet werden damit die Werte übernommen werden! "
                     "Das Programm wird nun beendet.");

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}

class OptionsTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_ini;
    std::unique_ptr<OptionsDialog> m_dialog;
    QList<int> m_endings;

    QLineEdit *box(const char *name)
    {
        return m_dialog->findChild<QLineEdit *>(QString::fromLatin1(name));
    }
    void pressOk() { m_dialog->findChild<QPushButton *>(QStringLiteral("cmdOk"))->click(); }
    QString stored(const QString &section, const QString &key)
    {
        return IniFile::read(m_ini, section, key);
    }

private slots:
    void init()
    {
        m_ini = ConsoleConfig::iniPath(m_dir.path());
        QFile::remove(m_ini);
        using namespace ConsoleKeys;
        QVERIFY(!IniFile::write(m_ini, feeSection, tariffBase, QStringLiteral("1,50")));
        QVERIFY(!IniFile::write(m_ini, feeSection, tariffOver30, QStringLiteral("1,20")));
        QVERIFY(!IniFile::write(m_ini, feeSection, tariffOver60, QStringLiteral("1,00")));
        QVERIFY(!IniFile::write(m_ini, dbSection, dbName, QStringLiteral("kavo")));
        QVERIFY(!IniFile::write(m_ini, companySection, companyName, QStringLiteral("Café")));
        m_endings.clear();
        ProgramEnd::setAction([this](int code) { m_endings.append(code); });
        m_dialog = std::make_unique<OptionsDialog>(m_ini);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        m_dialog->show();
    }

    void cleanup()
    {
        m_dialog.reset();
        ProgramEnd::setAction({});
    }

    void loadsTheFiveSettings()
    {
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Optionen"));
        QCOMPARE(box("tfGeb")->text(), QStringLiteral("1,50"));
        QCOMPARE(box("tfGeb30")->text(), QStringLiteral("1,20"));
        QCOMPARE(box("tfGeb60")->text(), QStringLiteral("1,00"));
        QCOMPARE(box("tfDBName")->text(), QStringLiteral("kavo"));
        QCOMPARE(box("tfFirmenName")->text(), QStringLiteral("Café"));
        QCOMPARE(box("tfFirmenName")->toolTip(),
                 QStringLiteral("Der Firmenname wird im Hauptfenster als Fenstertext übernommen."));
    }

    void okWithoutChangesWritesNothing()
    {
        const QByteArray before = fileBytes(m_ini);
        MessageRecorder messages;
        pressOk();
        QCOMPARE(fileBytes(m_ini), before);
        QVERIFY(messages.shown().isEmpty());
        QVERIFY(m_endings.isEmpty());
        QVERIFY(!m_dialog->isVisible());
    }

    void onlyTheCompanyNameIsWrittenSilently()
    {
        MessageRecorder messages;
        box("tfFirmenName")->setText(QStringLiteral("Bäckerei"));
        pressOk();
        QCOMPARE(stored(ConsoleKeys::companySection, ConsoleKeys::companyName),
                 QStringLiteral("Bäckerei"));
        QVERIFY(messages.shown().isEmpty());
        QVERIFY(m_endings.isEmpty());
        QVERIFY(!m_dialog->isVisible());
    }

    void aWrittenTariffEndsTheConsoleBeforeLaterFields()
    {
        MessageRecorder messages;
        box("tfGeb")->setText(QStringLiteral("2,00"));
        box("tfFirmenName")->setText(QStringLiteral("Neu"));
        pressOk();
        QCOMPARE(stored(ConsoleKeys::feeSection, ConsoleKeys::tariffBase), QStringLiteral("2,00"));
        QCOMPARE(stored(ConsoleKeys::companySection, ConsoleKeys::companyName),
                 QStringLiteral("Café"));
        QCOMPARE(messages.texts(), QStringList{restartMessage});
        QCOMPARE(messages.shown().first().icon, QMessageBox::Warning);
        QCOMPARE(m_endings, QList<int>{0});
    }

    // The cap of the tariffs is a checkbox written as "Staffel=deckeln" (and
    // emptied when unchecked); a change ends the console as a tariff does, and the
    // setting read back caps the bill.
    void theFeeCapIsACheckboxWrittenAsTheKey()
    {
        auto *cap = m_dialog->findChild<QCheckBox *>(QStringLiteral("chkStaffelDeckeln"));
        QVERIFY(cap && !cap->isChecked());
        MessageRecorder messages;
        cap->setChecked(true);
        pressOk();
        QCOMPARE(stored(ConsoleKeys::feeSection, ConsoleKeys::feeScale), QStringLiteral("deckeln"));
        QCOMPARE(m_endings, QList<int>{0});
        QVERIFY(ConsoleConfig::read(m_dir.path()).capsFeesByLongerPeriods());

        OptionsDialog reopened(m_ini);
        reopened.setAttribute(Qt::WA_DeleteOnClose, false);
        auto *shown = reopened.findChild<QCheckBox *>(QStringLiteral("chkStaffelDeckeln"));
        QVERIFY(shown->isChecked());
        shown->setChecked(false);
        reopened.findChild<QPushButton *>(QStringLiteral("cmdOk"))->click();
        QCOMPARE(stored(ConsoleKeys::feeSection, ConsoleKeys::feeScale), QString());
        QVERIFY(!ConsoleConfig::read(m_dir.path()).capsFeesByLongerPeriods());
    }

    void anEmptiedTariffIsRefusedAndTheDialogCloses()
    {
        MessageRecorder messages;
        box("tfGeb30")->clear();
        pressOk();
        QCOMPARE(messages.texts(),
                 QStringList{QStringLiteral("Bitte Gebühr über 30 min eingeben.")});
        QCOMPARE(stored(ConsoleKeys::feeSection, ConsoleKeys::tariffOver30),
                 QStringLiteral("1,20"));
        QVERIFY(m_endings.isEmpty());
        QVERIFY(!m_dialog->isVisible());
    }

    void cancellingTheDbQuestionGoesOnWithTheCompanyName()
    {
        MessageRecorder messages(QMessageBox::Cancel);
        box("tfDBName")->setText(QStringLiteral("anders"));
        box("tfFirmenName")->setText(QStringLiteral("Neu"));
        pressOk();
        QCOMPARE(messages.shown().size(), 1);
        QCOMPARE(messages.shown().first().title, QStringLiteral("DB Namen ändern"));
        QCOMPARE(stored(ConsoleKeys::dbSection, ConsoleKeys::dbName), QStringLiteral("kavo"));
        QCOMPARE(stored(ConsoleKeys::companySection, ConsoleKeys::companyName),
                 QStringLiteral("Neu"));
        QVERIFY(m_endings.isEmpty());
    }

    void confirmedDbNameIsWrittenAndEnds()
    {
        MessageRecorder messages(QMessageBox::Ok);
        box("tfDBName")->setText(QStringLiteral("anders"));
        pressOk();
        QCOMPARE(stored(ConsoleKeys::dbSection, ConsoleKeys::dbName), QStringLiteral("anders"));
        QCOMPARE(messages.shown().size(), 2);
        QCOMPARE(messages.shown().last().text, restartMessage);
        QCOMPARE(m_endings.size(), 1);
    }

    // The question's buttons are Qt's own; with its German texts loaded they read German
    // whatever the machine's locale (the tests run under C.UTF-8).
    void theDbQuestionsCancelReadsGerman()
    {
        QVERIFY(GermanQtTexts::install());
        QStringList buttons;
        QTimer::singleShot(0, m_dialog.get(), [&buttons] {
            auto *question = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!question)
                return;
            for (QAbstractButton *button : question->buttons())
                buttons.append(button->text());
            question->button(QMessageBox::Cancel)->click();
        });
        box("tfDBName")->setText(QStringLiteral("anders"));
        pressOk();
        QCOMPARE(buttons.size(), 2);
        QVERIFY2(buttons.contains(QStringLiteral("Abbrechen")),
                 qPrintable(buttons.join(QLatin1Char('|'))));
        QCOMPARE(stored(ConsoleKeys::dbSection, ConsoleKeys::dbName), QStringLiteral("kavo"));
    }

    // The dialog is not modal, so Enter reaches "&Ok" through the boxes themselves.
    void enterInAnyBoxPressesOk()
    {
        QVERIFY(!m_dialog->isModal());
        MessageRecorder messages;
        box("tfFirmenName")->setText(QStringLiteral("Bäckerei"));
        QTest::keyClick(box("tfGeb60"), Qt::Key_Return);
        QCOMPARE(stored(ConsoleKeys::companySection, ConsoleKeys::companyName),
                 QStringLiteral("Bäckerei"));
        QVERIFY(!m_dialog->isVisible());

        m_dialog = std::make_unique<OptionsDialog>(m_ini);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        m_dialog->show();
        QTest::keyClick(box("tfFirmenName"), Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!m_dialog->isVisible());
        QVERIFY(messages.shown().isEmpty());
    }

    void aFailedWriteIsReportedAndDoesNotEnd()
    {
        // The file's directory is gone, so the write cannot succeed.
        m_dialog.reset();
        const QString unwritable = m_dir.filePath(QStringLiteral("fehlt/Kavo.ini"));
        m_dialog = std::make_unique<OptionsDialog>(unwritable);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        MessageRecorder messages;
        box("tfGeb")->setText(QStringLiteral("2,00"));
        pressOk();
        QCOMPARE(messages.shown().size(), 1);
        QCOMPARE(messages.shown().first().icon, QMessageBox::Critical);
        QVERIFY(m_endings.isEmpty());
    }

    // The number of stations is refused outside 1 to 32; a taken one ends the console,
    // after the company name changed with it.
    void stationCountIsShownCheckedAndTakesEffectAtTheNextStart()
    {
        const QString &section = ConsoleKeys::stationsSection;
        const QString &key = ConsoleKeys::stationCount;
        QVERIFY(!IniFile::write(m_ini, section, key, QStringLiteral("4")));
        m_dialog = std::make_unique<OptionsDialog>(m_ini);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        QCOMPARE(box("tfAnzahl")->text(), QStringLiteral("4"));
        MessageRecorder messages;
        box("tfAnzahl")->setText(QStringLiteral("33"));
        pressOk();
        QCOMPARE(
            messages.texts(),
            QStringList{QStringLiteral("Bitte eine Anzahl der Stationen von 1 bis 32 eingeben.")});
        QCOMPARE(stored(section, key), QStringLiteral("4"));
        QVERIFY(m_endings.isEmpty());

        box("tfAnzahl")->setText(QStringLiteral("12"));
        box("tfFirmenName")->setText(QStringLiteral("Neu"));
        pressOk();
        QCOMPARE(messages.texts().last(), restartMessage);
        QCOMPARE(m_endings, QList<int>{0});
        QCOMPARE(ConsoleConfig::read(m_dir.path()).stationCount(), 12);
        QCOMPARE(stored(ConsoleKeys::companySection, ConsoleKeys::companyName),
                 QStringLiteral("Neu"));
    }

    void stationCount_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("told");
        QTest::newRow("none") << QString() << 2 << false;
        QTest::newRow("four") << "4" << 4 << false;
        QTest::newRow("one, spaced") << " 1 " << 1 << false;
        QTest::newRow("thirty-two") << "32" << 32 << false;
        QTest::newRow("zero") << "0" << 2 << true;
        QTest::newRow("thirty-three") << "33" << 2 << true;
        QTest::newRow("a word") << "drei" << 2 << true;
        QTest::newRow("signed") << "+4" << 2 << true;
        QTest::newRow("a placeholder") << "%1" << 2 << true;
    }
    void stationCount()
    {
        QFETCH(QString, written);
        QFETCH(int, count);
        if (!written.isNull())
            QVERIFY(!IniFile::write(m_ini, ConsoleKeys::stationsSection, ConsoleKeys::stationCount,
                                    written));
        const ConsoleConfig config = ConsoleConfig::read(m_dir.path());
        QCOMPARE(config.stationCount(), count);
        const QString problem = config.stationCountProblem();
        QTEST(!problem.isEmpty(), "told");
        if (!problem.isEmpty()) {
            QVERIFY(problem.contains(QStringLiteral("„%1“").arg(written)));
            QVERIFY(problem.contains(QStringLiteral("von 1 bis 32")));
            QVERIFY(problem.endsWith(QStringLiteral("Kavo arbeitet mit 2 Stationen.")));
        }
    }

    // The addresses are shown, checked, and written together with the number of
    // stations before the console ends; an emptied box lets any address in again.
    void addressesAreShownCheckedAndTakeEffectAtTheNextStart()
    {
        const QString &section = ConsoleKeys::stationsSection;
        QVERIFY(!IniFile::write(m_ini, section, ConsoleKeys::stationAddress(32),
                                QStringLiteral("kasse-pc32")));
        QVERIFY(!IniFile::write(m_ini, section, ConsoleKeys::stationAddress(2),
                                QStringLiteral("192.168.0.22")));
        m_dialog = std::make_unique<OptionsDialog>(m_ini);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        QCOMPARE(box("tfAdresse32")->text(), QStringLiteral("kasse-pc32"));
        MessageRecorder messages;
        box("tfAdresse5")->setText(QStringLiteral("192.168.0.256"));
        pressOk();
        QCOMPARE(messages.texts(),
                 QStringList{QStringLiteral("Bitte für Station 5 eine IPv4-Adresse oder einen"
                                            " Rechnernamen eingeben, oder das Feld leeren.")});
        QVERIFY(m_endings.isEmpty());

        box("tfAdresse5")->setText(QStringLiteral("192.168.0.25"));
        box("tfAdresse2")->clear();
        box("tfAnzahl")->setText(QStringLiteral("6"));
        pressOk();
        QCOMPARE(m_endings, QList<int>{0});
        const ConsoleConfig config = ConsoleConfig::read(m_dir.path());
        QCOMPARE(config.stationCount(), 6);
        QCOMPARE(config.stationAddressText(5), QStringLiteral("192.168.0.25"));
        QCOMPARE(config.stationAddressText(2), QString());
        QCOMPARE(config.stationAddressText(32), QStringLiteral("kasse-pc32"));
    }

    // A key is checked before anything is written; "Neu" makes a fresh random one,
    // which is written with the other station settings and ends the console.
    void keysAreCheckedMadeAndTakeEffectAtTheNextStart()
    {
        MessageRecorder messages;
        for (const char *noKey :
             {"0123456789abcdef0123456789abcde", // 31 digits
              "0123456789abcdef0123456789abcdeg", "0123456789abcdef0123456789abcdef0"}) {
            box("tfSchluessel3")->setText(QString::fromLatin1(noKey));
            pressOk();
        }
        QCOMPARE(messages.texts().size(), 3);
        QCOMPARE(messages.texts().first(),
                 QStringLiteral("Bitte für Station 3 einen Schlüssel aus 32 bis 128"
                                " Hexadezimalziffern (0 bis 9, a bis f, gerade Anzahl) eingeben,"
                                " oder das Feld leeren. „Neu“ erzeugt einen."));
        QVERIFY(m_endings.isEmpty());

        m_dialog->findChild<QPushButton *>(QStringLiteral("cmdSchluessel3"))->click();
        const QString made = box("tfSchluessel3")->text();
        QCOMPARE(made.size(), 32);
        QCOMPARE(PreSharedKey::formOf(made), PreSharedKey::Form::Valid);
        m_dialog->findChild<QPushButton *>(QStringLiteral("cmdSchluessel4"))->click();
        QVERIFY(box("tfSchluessel4")->text() != made);
        box("tfSchluessel4")->setText(QStringLiteral(" 00112233445566778899AABBCCDDEEFF "));
        pressOk();
        QCOMPARE(messages.texts().size(), 4);
        QCOMPARE(messages.texts().last(), restartMessage);
        QCOMPARE(m_endings, QList<int>{0});
        const ConsoleConfig config = ConsoleConfig::read(m_dir.path());
        QCOMPARE(config.stationKeyText(3), made);
        QCOMPARE(PreSharedKey::formOf(config.stationKeyText(4)), PreSharedKey::Form::Valid);
        QCOMPARE(config.stationKeyText(5), QString());
    }

    void stationAddress_data()
    {
        using Form = StationAddressRule::Form;
        QTest::addColumn<QString>("written");
        QTest::addColumn<Form>("form");
        QTest::newRow("none") << QString() << Form::None;
        QTest::newRow("IPv4") << "192.168.0.21" << Form::Ipv4;
        QTest::newRow("IPv4, spaced") << " 127.0.0.2 " << Form::Ipv4;
        QTest::newRow("host name") << "kasse-pc1" << Form::HostName;
        QTest::newRow("qualified name") << "pc1.cafe.lan" << Form::HostName;
        QTest::newRow("beyond 255") << "192.168.0.256" << Form::Malformed;
        QTest::newRow("leading zero") << "192.168.0.021" << Form::Malformed;
        QTest::newRow("three parts") << "192.168.1" << Form::Malformed;
        QTest::newRow("with port") << "192.168.0.21:12000" << Form::Malformed;
        QTest::newRow("IPv6") << "::1" << Form::Malformed;
        QTest::newRow("space inside") << "pc 1" << Form::Malformed;
        QTest::newRow("hyphen first") << "-pc1" << Form::Malformed;
        QTest::newRow("empty label") << "pc1..lan" << Form::Malformed;
    }
    void stationAddress()
    {
        QFETCH(QString, written);
        QFETCH(StationAddressRule::Form, form);
        if (!written.isNull())
            QVERIFY(!IniFile::write(m_ini, ConsoleKeys::stationsSection,
                                    ConsoleKeys::stationAddress(2), written));
        const ConsoleConfig config = ConsoleConfig::read(m_dir.path());
        QCOMPARE(config.stationAddressText(2), written.trimmed());
        QCOMPARE(StationAddressRule::formOf(config.stationAddressText(2)), form);
        const QStringList problems = config.stationAddressProblems();
        QCOMPARE(problems.size(), form == StationAddressRule::Form::Malformed ? 1 : 0);
        if (!problems.isEmpty())
            QVERIFY(
                problems.first().contains(QStringLiteral("„%1“ unter „Adresse2“").arg(written)));
    }

    // Only the stations served are told of: a bad address of a station beyond the
    // number set is no matter yet.
    void anAddressBeyondTheStationsServedIsNotTold()
    {
        QVERIFY(!IniFile::write(m_ini, ConsoleKeys::stationsSection, ConsoleKeys::stationAddress(3),
                                QStringLiteral("pc 3")));
        QVERIFY(ConsoleConfig::read(m_dir.path()).stationAddressProblems().isEmpty());
    }
};

QTEST_MAIN(OptionsTest)
#include "tst_options.moc"
