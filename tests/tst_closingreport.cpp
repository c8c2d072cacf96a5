#include "ClosingReport.h"
#include "ClosingWindow.h"
#include "RawDatabase.h"
#include "TestSupport.h"
#include "UsageDatabaseCase.h"

#include <QComboBox>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextDocument>

namespace {
const QDate day(2004, 5, 12);

// A saved day's closing with every kind of figure, over `stations` stations.
Closing sampleClosing(int stations)
{
    Closing closing;
    closing.number = 7;
    closing.from = QDateTime(day, QTime(0, 0));
    closing.to = QDateTime(day.addDays(1), QTime(0, 0));
    closing.made = QDateTime(day, QTime(22, 5, 9));
    closing.operatorName = QStringLiteral("anna");
    for (int station = 1; station <= stations; ++station)
        closing.figures.stations.insert(station, {2, 1234, 15'000});
    closing.figures.operators = {{QStringLiteral("anna"), {3, 40, 20'000}},
                                 {QStringLiteral("<b>ben %1</b>"), {1, 5, 5'000}}};
    closing.figures.total = {2 * stations, 1234 * stations, 15'000 * stations};
    closing.figures.running = {{2, 25, 12'500}};
    closing.figures.undated = {3, 0, 45'000};
    closing.figures.corrections
        = {{1, 41, QDateTime(day, QTime(12, 7, 17)), QDateTime(day, QTime(12, 6, 41)),
            QStringLiteral("anna"), 10'300, 16'500}};
    closing.figures.voids
        = {{2, 43, 40, -24'000, QStringLiteral("chef"), QStringLiteral("Drucker defekt")}};
    closing.fingerprint = QString(64, QLatin1Char('a'));
    closing.chainHead = QString(64, QLatin1Char('c'));
    closing.changedSince = true;
    return closing;
}

QString reportText(const Closing &closing, const QString &cafe)
{
    return ClosingReport::document(closing, cafe, QDateTime(day, QTime(14, 0)))->toPlainText();
}
}

// The closing's report as shown and printed, and the window that closes days and
// shifts. The test runs in Europe/Berlin.
class ClosingReportTest : public QObject, UsageDatabaseCase
{
    Q_OBJECT

private slots:

    // Every figure in German forms; names quoted as they are, never read as markup.
    void reportShowsEveryFigure()
    {
        const QString text = reportText(sampleClosing(2), QStringLiteral("Netz-Eck <&>"));
        for (const QString &expected :
             {QStringLiteral("Netz-Eck <&>"),
              QStringLiteral("Tagesabschluss Nr. 7"),
              QStringLiteral("Tag: 12.05.2004"),
              QStringLiteral("Abgeschlossen am 12.05.2004 um 22:05:09 von anna"),
              QStringLiteral(
                  "Die Aufzeichnungen dieses Tages wurden nach dem Abschluss verändert."),
              QStringLiteral("Station 2"),
              QStringLiteral("1.234"),
              QStringLiteral("1,50 €"),
              QStringLiteral("2.468"),
              QStringLiteral("3,00 €"),
              QStringLiteral("<b>ben %1</b>"),
              QStringLiteral("1,25 €"),
              QStringLiteral("Ohne Datum"),
              QStringLiteral("3 Nutzungen, 4,50 €"),
              QString(64, QLatin1Char('a')),
              QStringLiteral("Korrigierte Startzeiten"),
              QStringLiteral("12.05.2004 12:06:41"),
              QStringLiteral("12.05.2004 12:07:17"),
              QStringLiteral("1,65 €"),
              QStringLiteral("1,03 €"),
              QStringLiteral("-0,62 €"),
              QStringLiteral("Stornos"),
              QStringLiteral("Nr. 40"),
              QStringLiteral("Drucker defekt"),
              QStringLiteral("-2,40 €"),
              QString(64, QLatin1Char('c'))})
            QVERIFY2(text.contains(expected), qPrintable(expected));

        Closing shift = sampleClosing(1);
        shift.kind = Closing::Shift;
        shift.number = 0;
        shift.changedSince = false;
        shift.to = QDateTime(day, QTime(14, 0));
        const QString shiftText = reportText(shift, {});
        QVERIFY(
            shiftText.startsWith(QStringLiteral("Schichtabschluss (noch nicht abgeschlossen)")));
        QVERIFY(shiftText.contains(
            QStringLiteral("Schicht von 12.05.2004 00:00:00 bis 12.05.2004 14:00:00")));
        QVERIFY(shiftText.contains(QStringLiteral("Stand: 12.05.2004 14:00:00, Bediener: anna")));
        QVERIFY(!shiftText.contains(QStringLiteral("verändert")));
    }

    // Printed to a PDF file, a closing of 32 stations is one page.
    void printsOnePage()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("abschluss.pdf"));
        const std::unique_ptr<QTextDocument> document
            = ClosingReport::document(sampleClosing(32), QStringLiteral("Netz-Eck"), {});
        QVERIFY(document->toPlainText().contains(QStringLiteral("Station 32")));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        ClosingReport::print(*document, printer);
        const QByteArray pdf = contents(path);
        QVERIFY(pdf.startsWith("%PDF-"));
        static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
        QCOMPARE(QString::fromLatin1(pdf).count(page), 1);
    }

    // The window closes the day shown, then shows it from its closing; a record
    // changed behind its back is told above the report. A closed shift gives way to
    // the next.
    void windowClosesDayAndShift()
    {
        QVERIFY(makeDatabase());
        QVERIFY(!m_database->open(m_path));
        StoppedPeriod stopped = stoppedPeriod(1, recordWithFee(QStringLiteral("1,00 €")), 600, 5);
        stopped.stopMoment = QDateTime(day, QTime(9, 0));
        stopped.startMoment = stopped.stopMoment.addSecs(-600);
        QVERIFY(writtenNow(m_database->recorder().recordPeriod(stopped)));
        ClosingWindow window({m_database->closings(), m_database->recorder(),
                              [] {
                                  return QList<RunningFigure>{{2, 3, 1'000}};
                              }},
                             QStringLiteral("Netz-Eck"));
        auto *close = window.findChild<QPushButton *>(QStringLiteral("cmdAbschliessen"));
        auto *notice = window.findChild<QLabel *>(QStringLiteral("lblHinweis"));
        QVERIFY(
            window.report()->toPlainText().contains(QStringLiteral("noch nicht abgeschlossen")));
        QVERIFY(window.report()->toPlainText().contains(QStringLiteral("0,10 €")));

        close->click();
        QVERIFY(window.report()->toPlainText().contains(QStringLiteral("Tagesabschluss Nr. 1")));
        QVERIFY(!close->isEnabled());
        QVERIFY(notice->text().isEmpty());
        QVERIFY(RawDatabase(m_path).exec("UPDATE client1 SET client1kosten = 20000"));
        window.refresh();
        QCOMPARE(
            notice->text(),
            QStringLiteral("Die Aufzeichnungen dieses Tages wurden nach dem Abschluss verändert."));

        window.findChild<QComboBox *>(QStringLiteral("cmbArt"))->setCurrentIndex(1);
        QCOMPARE(close->text(), QStringLiteral("Schicht abschließen"));
        QVERIFY(close->isEnabled());
        close->click();
        QVERIFY(window.report()->toPlainText().contains(QStringLiteral("Schichtabschluss (noch")));
        QCOMPARE(RawDatabase(m_path).value("SELECT max(Nummer) FROM Abschluesse").toInt(), 2);
        dropDatabase();
    }
};

QTEST_MAIN(ClosingReportTest)
#include "tst_closingreport.moc"
