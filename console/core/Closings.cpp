#include "Closings.h"

#include "Billing.h"
#include "Clock.h"
#include "RecordChain.h"
#include "SqlRun.h"
#include "SqlStatement.h"
#include "TextFormats.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using SqlRun::forStation;

namespace {
const QString dayKind = QStringLiteral("Tag");
const QString shiftKind = QStringLiteral("Schicht");

// Records are found by their stop as the wall clock read it: the first 19 characters
// of the stored moment (2004-05-12T14:10:30) compare as text, which the index of the
// stops serves.
QString wallClock(const QDateTime &moment)
{
    return TextFormats::moment(moment).left(19);
}

QDateTime startOf(const QDate &day)
{
    return QDateTime(day, QTime(0, 0));
}

Closing covering(Closing::Kind kind, const QDateTime &from, const QDateTime &to,
                 const QList<RunningFigure> &running)
{
    Closing closing;
    closing.kind = kind;
    closing.from = from;
    closing.to = to;
    closing.figures.running = running;
    return closing;
}

QJsonObject sumToJson(const ClosingSum &sum)
{
    return {{QStringLiteral("nutzungen"), sum.periods},
            {QStringLiteral("minuten"), sum.minutes},
            {QStringLiteral("entgelt"), sum.feeUnits}};
}

ClosingSum sumFromJson(const QJsonObject &object)
{
    return {object.value(QStringLiteral("nutzungen")).toInt(),
            object.value(QStringLiteral("minuten")).toInteger(),
            object.value(QStringLiteral("entgelt")).toInteger()};
}

// The fields every record has; the book's fields follow them.
constexpr int recordFields = 9;

// Every field of every record, in a fixed order, so that any change shows in the hash.
// The book's fields count where they are set, so that a day closed before the book
// began keeps its fingerprint.
void addToFingerprint(QCryptographicHash &hash, int station, const SqlStatement &query)
{
    hash.addData(QByteArray::number(station));
    for (int column = 0; column < query.columnCount(); ++column) {
        if (column >= recordFields && query.isNull(column))
            continue;
        hash.addData(QByteArrayView("\x1f"));
        hash.addData(query.isNull(column) ? QByteArray("\0", 1)
                                          : query.value(column).toString().toUtf8());
    }
    hash.addData(QByteArrayView("\x1e"));
}

QDateTime momentIn(const SqlStatement &query, int column)
{
    return QDateTime::fromString(query.text(column).value_or(QString()), Qt::ISODate);
}

// What the book adds to a closing's figures: a corrected start, a void.
void noteBookFields(ClosingFigures &figures, int station, const SqlStatement &query)
{
    const qint64 number = query.integer(8).value_or(0);
    const qint64 fee = query.money(3).value_or(0);
    const QString operatorName = query.text(7).value_or(QString());
    if (!query.isNull(9))
        figures.corrections.append({station, number, momentIn(query, 5), momentIn(query, 9),
                                    operatorName, fee, query.integer(10).value_or(0)});
    if (!query.isNull(11))
        figures.voids.append({station, number, query.integer(11).value_or(0), fee, operatorName,
                              query.text(12).value_or(QString())});
}

QJsonArray correctionsToJson(const QList<ClosingCorrection> &corrections)
{
    QJsonArray list;
    for (const ClosingCorrection &c : corrections)
        list.append(QJsonObject{{QStringLiteral("station"), c.station},
                                {QStringLiteral("nummer"), c.number},
                                {QStringLiteral("abgerechnet"), TextFormats::moment(c.billedStart)},
                                {QStringLiteral("echt"), TextFormats::moment(c.realStart)},
                                {QStringLiteral("bediener"), c.operatorName},
                                {QStringLiteral("entgelt"), c.feeUnits},
                                {QStringLiteral("echtentgelt"), c.realFeeUnits}});
    return list;
}

QJsonArray voidsToJson(const QList<ClosingVoid> &voids)
{
    QJsonArray list;
    for (const ClosingVoid &v : voids)
        list.append(QJsonObject{{QStringLiteral("station"), v.station},
                                {QStringLiteral("nummer"), v.number},
                                {QStringLiteral("storniert"), v.voidedNumber},
                                {QStringLiteral("entgelt"), v.feeUnits},
                                {QStringLiteral("bediener"), v.operatorName},
                                {QStringLiteral("grund"), v.reason}});
    return list;
}
}

void ClosingSum::add(qint64 recordMinutes, qint64 recordFee)
{
    ++periods;
    minutes += recordMinutes;
    feeUnits += recordFee;
}

void ClosingSum::takeBack(qint64 recordMinutes, qint64 recordFee)
{
    add(recordMinutes, recordFee);
    periods -= 2;
}

QByteArray ClosingFigures::toJson() const
{
    QJsonArray stationList;
    for (auto it = stations.cbegin(); it != stations.cend(); ++it) {
        QJsonObject object = sumToJson(*it);
        object.insert(QStringLiteral("station"), it.key());
        stationList.append(object);
    }
    QJsonArray operatorList;
    for (auto it = operators.cbegin(); it != operators.cend(); ++it) {
        QJsonObject object = sumToJson(*it);
        object.insert(QStringLiteral("bediener"), it.key());
        operatorList.append(object);
    }
    QJsonArray runningList;
    for (const RunningFigure &figure : running) {
        runningList.append(QJsonObject{{QStringLiteral("station"), figure.station},
                                       {QStringLiteral("minuten"), figure.minutes},
                                       {QStringLiteral("entgelt"), figure.feeUnits}});
    }
    QJsonObject object = sumToJson(total);
    object.insert(QStringLiteral("stationen"), stationList);
    object.insert(QStringLiteral("bediener"), operatorList);
    object.insert(QStringLiteral("laufend"), runningList);
    object.insert(QStringLiteral("ohneDatum"), sumToJson(undated));
    if (!corrections.isEmpty())
        object.insert(QStringLiteral("korrekturen"), correctionsToJson(corrections));
    if (!voids.isEmpty())
        object.insert(QStringLiteral("stornos"), voidsToJson(voids));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<ClosingFigures> ClosingFigures::fromJson(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    ClosingFigures figures;
    figures.total = sumFromJson(object);
    for (const QJsonValue value : object.value(QStringLiteral("stationen")).toArray())
        figures.stations.insert(value[QStringLiteral("station")].toInt(),
                                sumFromJson(value.toObject()));
    for (const QJsonValue value : object.value(QStringLiteral("bediener")).toArray())
        figures.operators.insert(value[QStringLiteral("bediener")].toString(),
                                 sumFromJson(value.toObject()));
    for (const QJsonValue value : object.value(QStringLiteral("laufend")).toArray())
        figures.running.append({value[QStringLiteral("station")].toInt(),
                                value[QStringLiteral("minuten")].toInteger(),
                                value[QStringLiteral("entgelt")].toInteger()});
    figures.undated = sumFromJson(object.value(QStringLiteral("ohneDatum")).toObject());
    const auto moment = [](const QJsonValue &value) {
        return QDateTime::fromString(value.toString(), Qt::ISODate);
    };
    for (const QJsonValue value : object.value(QStringLiteral("korrekturen")).toArray())
        figures.corrections.append(
            {value[QStringLiteral("station")].toInt(), value[QStringLiteral("nummer")].toInteger(),
             moment(value[QStringLiteral("abgerechnet")]), moment(value[QStringLiteral("echt")]),
             value[QStringLiteral("bediener")].toString(),
             value[QStringLiteral("entgelt")].toInteger(),
             value[QStringLiteral("echtentgelt")].toInteger()});
    for (const QJsonValue value : object.value(QStringLiteral("stornos")).toArray())
        figures.voids.append({value[QStringLiteral("station")].toInt(),
                              value[QStringLiteral("nummer")].toInteger(),
                              value[QStringLiteral("storniert")].toInteger(),
                              value[QStringLiteral("entgelt")].toInteger(),
                              value[QStringLiteral("bediener")].toString(),
                              value[QStringLiteral("grund")].toString()});
    return figures;
}

QString Closing::changeNotice() const
{
    if (!changedSince)
        return {};
    return kind == Day
        ? QStringLiteral("Die Aufzeichnungen dieses Tages wurden nach dem Abschluss verändert.")
        : QStringLiteral("Die Aufzeichnungen dieser Schicht wurden nach dem Abschluss verändert.");
}

Closings::Closings(const SqlConnection &db, const int &stations, RecordChain &chain)
    : m_db(db)
    , m_stations(stations)
    , m_chain(chain)
{
}

// Sums the records whose stop lies in [from, to) and hashes them.
Failure Closings::figure(Closing &closing)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    ClosingFigures figures;
    const bool book = m_chain.isActive();
    for (int station = 1; station <= m_stations; ++station) {
        SqlStatement query(
            m_db.get(),
            forStation("SELECT client%1start, client%1ende, client%1dauer, client%1kosten,"
                       " client%1datum, client%1von, client%1bis, client%1bediener,"
                       " client%1nummer",
                       station)
                + (book ? forStation(", client%1echtstart, client%1echtkosten, client%1storno,"
                                     " client%1grund",
                                     station)
                        : QString())
                + forStation(" FROM client%1 WHERE client%1bis >= ?1 AND client%1bis < ?2"
                             " ORDER BY client%1bis, client%1nummer, rowid",
                             station));
        if (!query.bind(1, wallClock(closing.from)) || !query.bind(2, wallClock(closing.to)))
            return Failure(query.failure());
        while (query.next()) {
            const qint64 minutes = Billing::wholeMinutes(
                Billing::durationSeconds(query.text(2).value_or(QString())));
            const qint64 fee = query.money(3).value_or(0);
            const bool counter = book && !query.isNull(11);
            for (ClosingSum *sum :
                 {&figures.stations[station], &figures.operators[query.text(7).value_or(QString())],
                  &figures.total}) {
                if (counter)
                    sum->takeBack(minutes, fee);
                else
                    sum->add(minutes, fee);
            }
            if (book)
                noteBookFields(figures, station, query);
            addToFingerprint(hash, station, query);
        }
        if (!query.reachedEnd())
            return Failure(query.failure());
        if (const Failure failure = addUndated(station, figures.undated))
            return failure;
    }
    figures.running = closing.figures.running;
    closing.figures = figures;
    closing.fingerprint = QString::fromLatin1(hash.result().toHex());
    closing.chainHead = m_chain.head();
    if (book)
        closing.tariffs = m_tariffs.inForce(closing.from, closing.to);
    return Failure::none();
}

// The undated records are found through the index of the stops, where theirs is empty.
Failure Closings::addUndated(int station, ClosingSum &undated)
{
    SqlStatement query(m_db.get(),
                       forStation("SELECT count(*), SUM(money(client%1kosten)) FROM client%1"
                                  " WHERE client%1bis IS NULL",
                                  station));
    if (!query.next())
        return Failure(query.failure());
    undated.periods += int(query.integer(0).value_or(0));
    undated.feeUnits += query.integer(1).value_or(0);
    return Failure::none();
}

std::optional<Closing> Closings::savedWhere(const QString &condition, const QString &value)
{
    SqlStatement query(
        m_db.get(),
        QStringLiteral("SELECT Nummer, Art, Von, Bis, Erstellt, Bediener, Zahlen,"
                       " Fingerabdruck%2 FROM Abschluesse WHERE %1"
                       " ORDER BY Nummer DESC LIMIT 1")
            .arg(condition, m_chain.isActive() ? QStringLiteral(", Kette") : QString()));
    if (!value.isEmpty() && !query.bind(1, value))
        return std::nullopt;
    if (!query.next())
        return std::nullopt;
    const auto moment = [&](int column) {
        return QDateTime::fromString(query.text(column).value_or(QString()), Qt::ISODate);
    };
    Closing closing;
    closing.number = int(query.integer(0).value_or(0));
    closing.kind = query.text(1) == dayKind ? Closing::Day : Closing::Shift;
    closing.from = moment(2);
    closing.to = moment(3);
    closing.made = moment(4);
    closing.operatorName = query.text(5).value_or(QString());
    closing.figures = ClosingFigures::fromJson(query.text(6).value_or(QString()).toUtf8())
                          .value_or(ClosingFigures());
    closing.fingerprint = query.text(7).value_or(QString());
    if (m_chain.isActive()) {
        closing.chainHead = query.text(8).value_or(QString());
        closing.tariffs = m_tariffs.inForce(closing.from, closing.to);
    }
    return closing;
}

std::optional<Closing> Closings::day(const QDate &day, const QList<RunningFigure> &running)
{
    Closing live = covering(Closing::Day, startOf(day), startOf(day.addDays(1)), running);
    if (figure(live))
        return std::nullopt;
    std::optional<Closing> saved = savedWhere(
        QStringLiteral("Art = 'Tag' AND substr(Von, 1, 10) = ?1"), day.toString(Qt::ISODate));
    const QList<ClosingReopening> reopenings = m_reopenings.ofDay(day);
    if (!saved || ClosingReopenings::reopens(reopenings, saved->number)) {
        live.reopenings = reopenings;
        return live;
    }
    saved->reopenings = reopenings;
    saved->changedSince = saved->fingerprint != live.fingerprint;
    return saved;
}

std::optional<Closing> Closings::shift(const QDateTime &now, const QString &operatorName,
                                       const QList<RunningFigure> &running)
{
    const std::optional<Closing> last = savedWhere(QStringLiteral("Art = 'Schicht'"), {});
    Closing live = covering(Closing::Shift, last ? last->to : startOf(now.date()), now, running);
    live.operatorName = operatorName;
    if (figure(live))
        return std::nullopt;
    return live;
}

Failure Closings::save(Closing &closing)
{
    if (closing.kind == Closing::Day) {
        const QDate date = closing.from.date();
        const std::optional<Closing> saved = savedWhere(
            QStringLiteral("Art = 'Tag' AND substr(Von, 1, 10) = ?1"), date.toString(Qt::ISODate));
        if (saved && !ClosingReopenings::reopens(m_reopenings.ofDay(date), saved->number))
            return Failure(QStringLiteral("Der %1 ist schon abgeschlossen (Abschluss Nr. %2).")
                               .arg(TextFormats::date(date), QString::number(saved->number)));
    }
    closing.made = Clock::current().now();
    const bool book = m_chain.isActive();
    const auto bind = [&](SqlStatement &insert) {
        return insert.bind(1, closing.kind == Closing::Day ? dayKind : shiftKind)
            && insert.bind(2, TextFormats::moment(closing.from))
            && insert.bind(3, TextFormats::moment(closing.to))
            && insert.bind(4, TextFormats::moment(closing.made))
            && insert.bind(5, closing.operatorName)
            && insert.bind(6, QString::fromUtf8(closing.figures.toJson()))
            && insert.bind(7, closing.fingerprint);
    };
    const Result<int> number = m_chain.saveClosing(
        QStringLiteral("SELECT ifnull(max(Nummer), 0) + 1, ?1, ?2, ?3, ?4, ?5, ?6, ?7%1"
                       " FROM Abschluesse"),
        bind);
    if (!number.hasValue())
        return number.failure();
    closing.number = number.value();
    closing.chainHead = m_chain.head();
    if (book)
        closing.tariffs = m_tariffs.inForce(closing.from, closing.to);
    return Failure::none();
}
