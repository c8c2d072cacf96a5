#include "ClosingReport.h"

#include "TextFormats.h"

#include <QPainter>
#include <QPrinter>
#include <QTextDocument>

namespace {
// The width of the report in the units of the screen it is laid out for.
constexpr qreal textWidth = 680;

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

QString moment(const QDateTime &moment)
{
    return TextFormats::date(moment.date()) + QLatin1Char(' ')
        + TextFormats::timeOfDay(moment.time());
}

QString cell(const QString &text, bool number = false)
{
    return number ? QStringLiteral("<td align=\"right\">") + text + QStringLiteral("</td>")
                  : QStringLiteral("<td>") + text + QStringLiteral("</td>");
}

QString headerRow(const QStringList &captions)
{
    QString row = QStringLiteral("<tr>");
    for (qsizetype index = 0; index < captions.size(); ++index)
        row += (index == 0 ? QStringLiteral("<th align=\"left\">")
                           : QStringLiteral("<th align=\"right\">"))
            + captions[index] + QStringLiteral("</th>");
    return row + QStringLiteral("</tr>");
}

// A row of a table: the first cell names it, the others are figures.
QString row(const QStringList &cells)
{
    QString row = QStringLiteral("<tr>");
    for (qsizetype index = 0; index < cells.size(); ++index)
        row += cell(cells[index], index > 0);
    return row + QStringLiteral("</tr>");
}

QString sumRow(const QString &name, const ClosingSum &sum)
{
    return row({name, TextFormats::count(sum.periods), TextFormats::count(sum.minutes),
                TextFormats::money(sum.feeUnits)});
}

QString table(const QString &caption, const QStringList &headers, const QString &rows)
{
    return QStringLiteral("<h3>") + caption
        + QStringLiteral(
               "</h3><table width=\"100%\" cellspacing=\"0\" cellpadding=\"3\" border=\"1\">")
        + headerRow(headers) + rows + QStringLiteral("</table>");
}

// A table of a row for each item, `cellsOf` giving its cells; nothing without items.
template<typename Item, typename CellsOf>
QString tableOf(const QString &caption, const QStringList &headers, const QList<Item> &items,
                CellsOf cellsOf)
{
    if (items.isEmpty())
        return QString();
    QString rows;
    for (const Item &item : items)
        rows += row(cellsOf(item));
    return table(caption, headers, rows);
}

// A record by its station and number: "Station 2, Nr. 17".
QString recordName(int station, qint64 number)
{
    return QStringLiteral("Station ") + QString::number(station) + QStringLiteral(", Nr. ")
        + QString::number(number);
}

QString title(const Closing &closing)
{
    const QString kind = closing.kind == Closing::Day ? QStringLiteral("Tagesabschluss")
                                                      : QStringLiteral("Schichtabschluss");
    return closing.isSaved() ? kind + QStringLiteral(" Nr. ") + QString::number(closing.number)
                             : kind + QStringLiteral(" (noch nicht abgeschlossen)");
}

QString period(const Closing &closing)
{
    if (closing.kind == Closing::Day)
        return QStringLiteral("Tag: ") + TextFormats::date(closing.from.date());
    return QStringLiteral("Schicht von ") + moment(closing.from) + QStringLiteral(" bis ")
        + moment(closing.to);
}

QString madeLine(const Closing &closing, const QDateTime &now)
{
    if (!closing.isSaved())
        return QStringLiteral("Stand: ") + moment(now)
            + (closing.operatorName.isEmpty()
                   ? QString()
                   : QStringLiteral(", Bediener: ") + escaped(closing.operatorName));
    return QStringLiteral("Abgeschlossen am ") + TextFormats::date(closing.made.date())
        + QStringLiteral(" um ") + TextFormats::timeOfDay(closing.made.time())
        + QStringLiteral(" von ") + escaped(closing.operatorName);
}

QString stationTable(const ClosingFigures &figures)
{
    QString rows;
    for (auto it = figures.stations.cbegin(); it != figures.stations.cend(); ++it)
        rows += sumRow(QStringLiteral("Station ") + QString::number(it.key()), *it);
    rows += sumRow(QStringLiteral("<b>Summe</b>"), figures.total);
    return table(QStringLiteral("Stationen"),
                 {QStringLiteral("Station"), QStringLiteral("Nutzungen"), QStringLiteral("Minuten"),
                  QStringLiteral("Einnahmen")},
                 rows);
}

QString operatorTable(const ClosingFigures &figures)
{
    QString rows;
    for (auto it = figures.operators.cbegin(); it != figures.operators.cend(); ++it)
        rows
            += sumRow(it.key().isEmpty() ? QStringLiteral("(ohne Namen)") : escaped(it.key()), *it);
    return table(QStringLiteral("Bediener"),
                 {QStringLiteral("Bediener"), QStringLiteral("Nutzungen"),
                  QStringLiteral("Minuten"), QStringLiteral("Einnahmen")},
                 rows);
}

QString runningTable(const ClosingFigures &figures)
{
    if (figures.running.isEmpty())
        return QStringLiteral("<h3>Laufende Nutzungen</h3><p>keine</p>");
    return tableOf(
        QStringLiteral("Laufende Nutzungen (nicht in der Summe)"),
        {QStringLiteral("Station"), QStringLiteral("Minuten"), QStringLiteral("Entgelt bisher")},
        figures.running, [](const RunningFigure &running) {
            return QStringList{QStringLiteral("Station ") + QString::number(running.station),
                               TextFormats::count(running.minutes),
                               TextFormats::money(running.feeUnits)};
        });
}

// Each corrected start with the start billed, the real one and what the correction
// took off the fee.
QString correctionTable(const QList<ClosingCorrection> &corrections)
{
    return tableOf(QStringLiteral("Korrigierte Startzeiten"),
                   {QStringLiteral("Beleg"), QStringLiteral("Tatsächlich"),
                    QStringLiteral("Abgerechnet ab"), QStringLiteral("Bediener"),
                    QStringLiteral("Entgelt tatsächlich"), QStringLiteral("Abgerechnet"),
                    QStringLiteral("Unterschied")},
                   corrections, [](const ClosingCorrection &correction) {
                       return QStringList{recordName(correction.station, correction.number),
                                          moment(correction.realStart),
                                          moment(correction.billedStart),
                                          escaped(correction.operatorName),
                                          TextFormats::money(correction.realFeeUnits),
                                          TextFormats::money(correction.feeUnits),
                                          TextFormats::money(correction.difference())};
                   });
}

QString voidTable(const QList<ClosingVoid> &voids)
{
    return tableOf(QStringLiteral("Stornos"),
                   {QStringLiteral("Gegenbeleg"), QStringLiteral("Storniert"),
                    QStringLiteral("Bediener"), QStringLiteral("Grund"), QStringLiteral("Betrag")},
                   voids, [](const ClosingVoid &counter) {
                       return QStringList{recordName(counter.station, counter.number),
                                          QStringLiteral("Nr. ")
                                              + QString::number(counter.voidedNumber),
                                          escaped(counter.operatorName), escaped(counter.reason),
                                          TextFormats::money(counter.feeUnits)};
                   });
}

// The tariffs in force during the closing, each from when and set by whom.
QString tariffTable(const QList<TariffPeriod> &tariffs)
{
    return tableOf(QStringLiteral("Tarife in Kraft"),
                   {QStringLiteral("Ab"), QStringLiteral("Gebühr"), QStringLiteral("über 30 min."),
                    QStringLiteral("über 60 min."), QStringLiteral("Gesetzt von")},
                   tariffs, [](const TariffPeriod &period) {
                       return QStringList{moment(period.from), escaped(period.tariffs.base),
                                          escaped(period.tariffs.over30),
                                          escaped(period.tariffs.over60),
                                          escaped(period.operatorName)};
                   });
}

QString undatedLine(const ClosingSum &undated)
{
    return QStringLiteral("<h3>Ohne Datum</h3><p>") + TextFormats::count(undated.periods)
        + (undated.periods == 1 ? QStringLiteral(" Nutzung, ") : QStringLiteral(" Nutzungen, "))
        + TextFormats::money(undated.feeUnits)
        + QStringLiteral(": Aufzeichnungen von vor der Datierung, keinem Tag zugeordnet und in"
                         " keiner Summe enthalten.</p>");
}
}

QString ClosingReport::reopeningNotice(const Closing &closing)
{
    QStringList lines;
    for (const ClosingReopening &reopening : closing.reopenings)
        lines.append(QStringLiteral("Abschluss Nr. %1 wurde am %2 um %3 von %4 wieder geöffnet."
                                    " Grund: %5")
                         .arg(QString::number(reopening.closingNumber),
                              TextFormats::date(reopening.made.date()),
                              TextFormats::timeOfDay(reopening.made.time()), reopening.operatorName,
                              reopening.reason));
    return lines.join(QLatin1Char('\n'));
}

std::unique_ptr<QTextDocument>
ClosingReport::document(const Closing &closing, const QString &cafeName, const QDateTime &now)
{
    QString html = QStringLiteral("<html><body>");
    if (!cafeName.isEmpty())
        html += QStringLiteral("<h2>") + escaped(cafeName) + QStringLiteral("</h2>");
    html += QStringLiteral("<h1>") + title(closing) + QStringLiteral("</h1><p>") + period(closing)
        + QStringLiteral("<br>") + madeLine(closing, now) + QStringLiteral("</p>");
    if (closing.changedSince)
        html += QStringLiteral("<p><b><font color=\"#c00000\">") + closing.changeNotice()
            + QStringLiteral("</font></b></p>");
    if (!closing.reopenings.isEmpty())
        html += QStringLiteral("<p><b>")
            + escaped(reopeningNotice(closing)).replace(QLatin1Char('\n'), QStringLiteral("<br>"))
            + QStringLiteral("</b></p>");
    html += stationTable(closing.figures) + operatorTable(closing.figures);
    html += correctionTable(closing.figures.corrections) + voidTable(closing.figures.voids);
    html += tariffTable(closing.tariffs);
    html += runningTable(closing.figures) + undatedLine(closing.figures.undated);
    html += QStringLiteral("<p><small>Fingerabdruck (SHA-256) der Aufzeichnungen:<br><tt>")
        + closing.fingerprint + QStringLiteral("</tt>");
    if (!closing.chainHead.isEmpty())
        html += QStringLiteral("<br>Kopf der Kette:<br><tt>") + closing.chainHead
            + QStringLiteral("</tt>");
    html += QStringLiteral("</small></p></body></html>");
    auto document = std::make_unique<QTextDocument>();
    document->setHtml(html);
    return document;
}

// Laid out as wide as a page of text, then scaled to the printer's page, and down
// further where it is taller than the page: a closing is always one page.
void ClosingReport::print(QTextDocument &document, QPrinter &printer)
{
    document.setTextWidth(textWidth);
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const QSizeF size = document.size();
    const qreal scale = qMin(page.width() / size.width(), page.height() / size.height());
    QPainter painter(&printer);
    painter.scale(scale, scale);
    document.drawContents(&painter);
}
