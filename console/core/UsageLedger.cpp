#include "UsageLedger.h"

#include "Billing.h"
#include "TextFormats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUuid>

#include <algorithm>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

namespace {
QDateTime momentFrom(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODate);
}

constexpr int retryIntervalMs = 30'000;
const QString periodsKey = QStringLiteral("perioden");
const QString tariffsKey = QStringLiteral("tarife");
// No period the console bills lasts longer; a record claiming more is no record of it.
constexpr qint64 longestRecordSeconds = 7 * 24 * 3600;
constexpr qint64 centUnits = 100;
// A clock set or a daylight-saving change during a period moves its times of day
// against its measured length by up to this much.
constexpr qint64 clockShiftSeconds = 3600;
constexpr qint64 secondsPerDay = 24 * 3600;

// A period that moved or paused says so; one that did neither is written as before.
QJsonObject toJson(const OpenPeriod &period)
{
    QJsonObject entry{{QStringLiteral("periode"), period.id},
                      {QStringLiteral("station"), period.station},
                      {QStringLiteral("beginn"), period.beginText()},
                      {QStringLiteral("startzeit"), period.startText},
                      {QStringLiteral("intervall"), period.intervalMinutes}};
    if (period.originStation > 0)
        entry.insert(QStringLiteral("herkunft"), period.originStation);
    if (period.pausedSeconds > 0)
        entry.insert(QStringLiteral("pause"), period.pausedSeconds);
    if (period.paused())
        entry.insert(QStringLiteral("pauseSeit"), period.pausedSinceText());
    return entry;
}

// A record names the tariffs that billed it, so that a later run can check its fee.
QJsonObject toJson(const StoppedPeriod &stopped, const Tariffs &tariffs)
{
    QJsonObject entry = toJson(stopped.period);
    entry.insert(tariffsKey, QJsonArray{tariffs.base, tariffs.over30, tariffs.over60});
    entry.insert(QStringLiteral("start"), stopped.record.start);
    entry.insert(QStringLiteral("ende"), stopped.record.end);
    entry.insert(QStringLiteral("dauer"), stopped.record.duration);
    entry.insert(QStringLiteral("kosten"), stopped.record.fee);
    entry.insert(QStringLiteral("sekunden"), stopped.durationSeconds);
    entry.insert(QStringLiteral("monat"), stopped.month);
    if (stopped.startMoment.isValid() && stopped.stopMoment.isValid()) {
        entry.insert(QStringLiteral("von"), TextFormats::moment(stopped.startMoment));
        entry.insert(QStringLiteral("bis"), TextFormats::moment(stopped.stopMoment));
    }
    if (stopped.correction) {
        entry.insert(QStringLiteral("echtstart"),
                     TextFormats::moment(stopped.correction->realStart));
        entry.insert(QStringLiteral("echtkosten"), stopped.correction->realFeeUnits);
    }
    return entry;
}

// A period of a station 1 to 32, served or not, with an id and a beginning.
std::optional<OpenPeriod> openPeriodFrom(const QJsonObject &entry)
{
    OpenPeriod period{
        entry.value(QStringLiteral("periode")).toString(),
        entry.value(QStringLiteral("station")).toInt(),
        QDateTime::fromString(entry.value(QStringLiteral("beginn")).toString(), Qt::ISODateWithMs),
        entry.value(QStringLiteral("startzeit")).toString(),
        entry.value(QStringLiteral("intervall")).toInt(),
        entry.value(QStringLiteral("herkunft")).toInt(),
        qint64(entry.value(QStringLiteral("pause")).toDouble()),
        momentFrom(entry.value(QStringLiteral("pauseSeit")))};
    if (period.id.isEmpty() || !UsageDatabase::isStation(period.station) || !period.begin.isValid()
        || period.pausedSeconds < 0)
        return std::nullopt;
    return period;
}

bool isStopped(const QJsonObject &entry)
{
    return entry.contains(QStringLiteral("ende"));
}

// An entry of an older console has no start and stop of its own: they are dated
// from its full beginning and its length.
StoppedPeriod stoppedPeriodFrom(const OpenPeriod &period, const QJsonObject &entry)
{
    StoppedPeriod stopped{period,
                          {entry.value(QStringLiteral("start")).toString(),
                           entry.value(QStringLiteral("ende")).toString(),
                           entry.value(QStringLiteral("dauer")).toString(),
                           entry.value(QStringLiteral("kosten")).toString()},
                          qint64(entry.value(QStringLiteral("sekunden")).toDouble()),
                          entry.value(QStringLiteral("monat")).toInt(),
                          momentFrom(entry.value(QStringLiteral("von"))),
                          momentFrom(entry.value(QStringLiteral("bis"))),
                          std::nullopt};
    if (const QDateTime realStart = momentFrom(entry.value(QStringLiteral("echtstart")));
        realStart.isValid())
        stopped.correction = StoppedPeriod::Correction{
            realStart, qint64(entry.value(QStringLiteral("echtkosten")).toDouble())};
    if (!stopped.startMoment.isValid() || !stopped.stopMoment.isValid()) {
        stopped.startMoment = period.begin;
        stopped.stopMoment = period.begin.addSecs(stopped.durationSeconds);
    }
    return stopped;
}

bool isTime(const QJsonValue &value)
{
    return TextFormats::parseTimeOfDay(value.toString()).has_value();
}

// The most a period of `seconds` can cost: billed whole at the dearest tariff.
qint64 dearestFee(qint64 seconds, const Tariffs &tariffs)
{
    qint64 most = 0;
    for (const QString &tariff : {tariffs.base, tariffs.over30, tariffs.over60})
        most = std::max(most, Billing::feeUnits(seconds, {tariff, tariff, tariff}));
    return most;
}

// The fee is what the tariffs the record names give for its seconds, to the cent.
// A record of an earlier version names none: it costs at most what the dearest
// tariff in force gives.
bool feeFits(qint64 fee, qint64 seconds, const QJsonObject &entry, const Tariffs &inForce)
{
    const QJsonArray named = entry.value(tariffsKey).toArray();
    if (named.size() != 3)
        return fee <= dearestFee(seconds, inForce) + centUnits;
    const Tariffs own{named[0].toString(), named[1].toString(), named[2].toString()};
    return std::abs(fee - Billing::feeUnits(seconds, own)) <= centUnits;
}

// Start and end lie the seconds and the pauses apart, give or take a clock shift,
// and the duration shows the seconds.
bool timesFit(const QJsonObject &entry, qint64 seconds)
{
    const qint64 paused = qint64(entry.value(QStringLiteral("pause")).toDouble());
    const QTime start
        = *TextFormats::parseTimeOfDay(entry.value(QStringLiteral("start")).toString());
    const QTime end = *TextFormats::parseTimeOfDay(entry.value(QStringLiteral("ende")).toString());
    qint64 gap = (start.secsTo(end) - seconds - paused) % secondsPerDay;
    if (gap > secondsPerDay / 2)
        gap -= secondsPerDay;
    else if (gap <= -secondsPerDay / 2)
        gap += secondsPerDay;
    return std::abs(gap) <= clockShiftSeconds
        && entry.value(QStringLiteral("dauer")).toString() == Billing::durationText(seconds);
}

// Why an entry of the side file can't be written as it stands; empty when it can.
QString entryFault(const QJsonObject &entry, const Tariffs &tariffs)
{
    const int station = entry.value(QStringLiteral("station")).toInt();
    if (entry.value(QStringLiteral("periode")).toString().isEmpty()
        || !UsageDatabase::isStation(station))
        return QStringLiteral("Station unbekannt");
    if (!openPeriodFrom(entry))
        return QStringLiteral("Beginn nicht lesbar");
    if (!isStopped(entry))
        return {};
    if (!isTime(entry.value(QStringLiteral("start")))
        || !isTime(entry.value(QStringLiteral("ende"))))
        return QStringLiteral("Start oder Ende nicht lesbar");
    const std::optional<qint64> fee
        = TextFormats::parseMoney(entry.value(QStringLiteral("kosten")).toString());
    if (!fee)
        return QStringLiteral("Betrag nicht lesbar");
    const QJsonValue seconds = entry.value(QStringLiteral("sekunden"));
    if (*fee < 0 || !seconds.isDouble() || seconds.toDouble() < 0)
        return QStringLiteral("Betrag oder Dauer negativ oder nicht lesbar");
    if (seconds.toDouble() > double(longestRecordSeconds))
        return QStringLiteral("Dauer länger als 7 Tage");
    const int month = entry.value(QStringLiteral("monat")).toInt();
    if (month < 1 || month > 12)
        return QStringLiteral("Monat nicht lesbar");
    if (!timesFit(entry, qint64(seconds.toDouble())))
        return QStringLiteral("Start, Ende und Dauer passen nicht zueinander");
    if (!feeFits(*fee, qint64(seconds.toDouble()), entry, tariffs))
        return QStringLiteral("Betrag passt nicht zu Dauer und Tarif");
    return {};
}

QJsonObject withReason(QJsonObject entry, const QString &reason)
{
    entry.insert(QStringLiteral("grund"), reason);
    return entry;
}

// An open row of the database as an entry of the side file, its texts as they stand.
QJsonObject rowEntry(const QStringList &row)
{
    return {{QStringLiteral("periode"), row.value(0)},
            {QStringLiteral("station"), row.value(1)},
            {QStringLiteral("beginn"), row.value(2)},
            {QStringLiteral("startzeit"), row.value(3)},
            {QStringLiteral("intervall"), row.value(4)}};
}

// `path`, or `path` with a number behind it when that is taken.
QString freeName(const QString &path)
{
    QString name = path;
    for (int number = 2; QFile::exists(name); ++number)
        name = path + QLatin1Char('-') + QString::number(number);
    return name;
}

QString entryText(const QJsonObject &entry)
{
    const QJsonValue station = entry.value(QStringLiteral("station"));
    QString text
        = QStringLiteral("Station %1, Beginn %2")
              .arg(station.isString() ? station.toString() : QString::number(station.toInt()),
                   entry.value(QStringLiteral("beginn")).toString());
    if (isStopped(entry))
        text += QStringLiteral(", %1 bis %2, %3")
                    .arg(entry.value(QStringLiteral("start")).toString(),
                         entry.value(QStringLiteral("ende")).toString(),
                         entry.value(QStringLiteral("kosten")).toVariant().toString());
    return text + QStringLiteral(": ") + entry.value(QStringLiteral("grund")).toString();
}

QString setAsideText(const QJsonArray &entries, const QString &path)
{
    QStringList lines;
    for (const QJsonValue &entry : entries)
        lines.append(QStringLiteral("- ") + entryText(entry.toObject()));
    return QStringLiteral(
               "Kavo hat %1 Nutzung(en), die sich nicht abrechnen oder fortsetzen ließen, in %2 "
               "abgelegt:\n"
               "%3\nBitte prüfen und von Hand abrechnen; die übrigen Nutzungen sind gespeichert.")
        .arg(entries.size())
        .arg(QDir::toNativeSeparators(path), lines.join(QLatin1Char('\n')));
}

// The file is complete on disk, under its name, before this returns no failure.
Failure writeDurably(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()
        || ::fsync(file.handle()) != 0 || !file.commit())
        return Failure(file.errorString());
    const int directory
        = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return Failure::none();
}
}

UsageLedger::UsageLedger(UsageDatabase &database, const QString &sideFilePath,
                         const Tariffs &tariffs, QObject *parent)
    : QObject(parent)
    , m_database(database)
    , m_sideFilePath(sideFilePath)
    , m_tariffs(tariffs)
{
    m_retry.setInterval(retryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, &UsageLedger::writePending);
}

StationTotalsFeed &UsageLedger::feedOf(int station)
{
    std::unique_ptr<StationTotalsFeed> &feed = m_totalsFeeds[station];
    if (!feed)
        feed = std::make_unique<StationTotalsFeed>();
    return *feed;
}

QString UsageLedger::sideFilePathFor(const QString &databasePath)
{
    const QFileInfo database(databasePath);
    return database.dir().filePath(database.completeBaseName() + QStringLiteral(".nachtrag"));
}

Failure UsageLedger::recover()
{
    const Result<QJsonArray> sideFile = readSideFile();
    if (!sideFile.hasValue())
        return sideFile.failure();
    const QJsonArray &entries = sideFile.value();

    const QStringList recorded = m_database.periods().recordedPeriods();
    m_markersToForget = recorded;
    QJsonArray setAside;
    QStringList stoppedIds;
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        if (const QString fault = entryFault(entry, m_tariffs); !fault.isEmpty()) {
            setAside.append(withReason(entry, fault));
            continue;
        }
        const OpenPeriod period = *openPeriodFrom(entry);
        m_sideFileIds.append(period.id);
        if (!isStopped(entry)) {
            m_openInSideFile.append(period);
            continue;
        }
        stoppedIds.append(period.id);
        if (!recorded.contains(period.id))
            m_pending.append(stoppedPeriodFrom(period, entry));
    }
    // A start whose record is written, or whose stop is held, is no longer open.
    m_openInSideFile.removeIf([&](const OpenPeriod &period) {
        return stoppedIds.contains(period.id) || recorded.contains(period.id);
    });

    const QList<QStringList> unreadableRows = m_database.periods().unreadableOpenPeriods();
    for (const QStringList &row : unreadableRows)
        setAside.append(
            withReason(rowEntry(row), QStringLiteral("Station oder Beginn nicht lesbar")));
    const QList<OpenPeriod> superseded = collectRecovered(stoppedIds, recorded);
    for (const OpenPeriod &period : superseded) {
        setAside.append(withReason(toJson(period),
                                   QStringLiteral("von einer späteren Nutzung derselben Station"
                                                  " abgelöst, Ende unbekannt")));
    }
    if (!setAside.isEmpty()) {
        const Result<QString> kept = keepAside(setAside);
        if (!kept.hasValue())
            return kept.failure();
        // A row the database keeps for now is set aside again at the next start.
        for (const QStringList &row : unreadableRows)
            static_cast<void>(m_database.periods().removeUnreadableOpenPeriod(row));
        for (const OpenPeriod &period : superseded) {
            static_cast<void>(m_database.periods().discardOpenPeriod(period.id));
            m_openInSideFile.removeIf(
                [&](const OpenPeriod &other) { return other.id == period.id; });
        }
        emit problem(setAsideText(setAside, kept.value()));
    }
    writePending();
    return Failure::none();
}

// One period runs on a station at a time: should two be left open, the later
// counts and the earlier ones are returned, settled for good.
QList<OpenPeriod> UsageLedger::collectRecovered(const QStringList &stoppedIds,
                                                const QStringList &recorded)
{
    QList<OpenPeriod> open;
    for (const QList<OpenPeriod> &source : {m_database.periods().openPeriods(), m_openInSideFile}) {
        for (const OpenPeriod &period : source) {
            const bool known
                = std::any_of(open.cbegin(), open.cend(),
                              [&](const OpenPeriod &other) { return other.id == period.id; });
            if (!known && !stoppedIds.contains(period.id) && !recorded.contains(period.id))
                open.append(period);
        }
    }
    std::stable_sort(open.begin(), open.end(),
                     [](const OpenPeriod &a, const OpenPeriod &b) { return a.begin < b.begin; });
    QList<OpenPeriod> superseded;
    for (const OpenPeriod &period : std::as_const(open)) {
        for (const OpenPeriod &earlier : std::as_const(m_recovered)) {
            if (earlier.station == period.station)
                superseded.append(earlier);
        }
        m_recovered.removeIf(
            [&](const OpenPeriod &other) { return other.station == period.station; });
        m_recovered.append(period);
    }
    return superseded;
}

Result<QJsonArray> UsageLedger::readSideFile()
{
    QFile file(m_sideFilePath);
    if (!file.exists())
        return QJsonArray();
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.close();
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (document.isObject() && document.object().value(periodsKey).isArray()) {
        m_sideFileBytes = bytes;
        return document.object().value(periodsKey).toArray();
    }
    // Kept as it is under a name of its own, so that nothing in it is lost and the
    // console can keep new records again.
    const QString kept = freeName(m_sideFilePath + QStringLiteral(".unlesbar"));
    if (!QFile::rename(m_sideFilePath, kept)) {
        return Failure(
            QStringLiteral(
                "Die Datei %1 mit noch nicht gespeicherten Nutzungen ist nicht lesbar und "
                "lässt sich"
                " nicht beiseitelegen. Bitte die Datei sichern, aus dem Programmverzeichnis"
                " entfernen und Kavo neu starten.")
                .arg(QDir::toNativeSeparators(m_sideFilePath)));
    }
    emit problem(
        QStringLiteral(
            "Die Datei %1 mit noch nicht gespeicherten Nutzungen war nicht lesbar. Kavo hat sie"
            " unverändert als %2 abgelegt. Bitte die Nutzungen darin prüfen und von Hand"
            " nachtragen.")
            .arg(QDir::toNativeSeparators(m_sideFilePath), QDir::toNativeSeparators(kept)));
    return QJsonArray();
}

Result<QString> UsageLedger::keepAside(const QJsonArray &entries)
{
    const QFileInfo sideFile(m_sideFilePath);
    const QString path = freeName(
        sideFile.dir().filePath(sideFile.completeBaseName() + QStringLiteral(".abgelegt")));
    const Failure reason
        = writeDurably(path, QJsonDocument(QJsonObject{{periodsKey, entries}}).toJson());
    if (!reason)
        return path;
    return Failure(
        QStringLiteral(
            "Kavo fand Nutzungen, die sich nicht abrechnen lassen, kann sie aber nicht in %1 "
            "ablegen"
            " (%2). Bitte Platz und Rechte im Programmverzeichnis prüfen und Kavo neu starten.")
            .arg(QDir::toNativeSeparators(path), reason.text()));
}

QList<OpenPeriod> UsageLedger::unservedPeriods() const
{
    QList<OpenPeriod> unserved;
    for (const OpenPeriod &period : m_recovered) {
        if (!m_database.hasStation(period.station))
            unserved.append(period);
    }
    return unserved;
}

std::optional<OpenPeriod> UsageLedger::openPeriod(int station) const
{
    for (const OpenPeriod &period : m_recovered) {
        if (period.station == station)
            return period;
    }
    return std::nullopt;
}

OpenPeriod UsageLedger::begin(int station, const QDateTime &moment, int intervalMinutes)
{
    const OpenPeriod period{QUuid::createUuid().toString(QUuid::WithoutBraces), station, moment,
                            TextFormats::timeOfDay(moment.time()), intervalMinutes};
    m_recovered.removeIf([&](const OpenPeriod &other) { return other.station == station; });
    // Records of earlier stops still held go in first, in the order of the stops.
    writePending();
    const Failure reason = m_database.periods().saveOpenPeriod(period);
    if (!reason)
        return period;
    m_openInSideFile.append(period);
    if (!m_retry.isActive())
        m_retry.start();
    if (const Failure fileError = saveSideFile()) {
        emit problem(
            QStringLiteral(
                "Station %1: Der Start um %2 ließ sich nicht speichern (%3; %4). Die Nutzung läuft,"
                " wird beim Stopp abgerechnet und gespeichert, sobald die Datenbank wieder"
                " schreibbar ist; stürzt Kavo vorher ab, geht sie verloren.")
                .arg(station)
                .arg(period.startText, reason.text(), fileError.text()));
    }
    return period;
}

Failure UsageLedger::update(const OpenPeriod &period)
{
    const auto update = [&](QList<OpenPeriod> &periods) {
        for (OpenPeriod &held : periods) {
            if (held.id == period.id)
                held = period;
        }
    };
    const bool inSideFile
        = std::any_of(m_openInSideFile.cbegin(), m_openInSideFile.cend(),
                      [&](const OpenPeriod &held) { return held.id == period.id; });
    if (!inSideFile) {
        if (Failure reason = m_database.periods().updateOpenPeriod(period))
            return reason;
        update(m_recovered);
        return Failure::none();
    }
    const QList<OpenPeriod> before = m_openInSideFile;
    update(m_openInSideFile);
    if (Failure reason = saveSideFile()) {
        m_openInSideFile = before;
        return reason;
    }
    update(m_recovered);
    return Failure::none();
}

void UsageLedger::finish(const StoppedPeriod &stopped)
{
    m_recovered.removeIf([&](const OpenPeriod &other) { return other.id == stopped.period.id; });
    m_openInSideFile.removeIf(
        [&](const OpenPeriod &other) { return other.id == stopped.period.id; });
    m_pending.append(stopped);
    writePending();
    for (const StoppedPeriod &pending : std::as_const(m_pending)) {
        if (pending.period.id == stopped.period.id) {
            emit problem(refusalText(stopped, m_lastError, sideFileHolds(stopped.period.id)));
            break;
        }
    }
}

void UsageLedger::writePending()
{
    while (!m_pending.isEmpty()) {
        const StoppedPeriod next = m_pending.first();
        const bool keepMarker = sideFileHolds(next.period.id);
        const Result<RecordedPeriod> recorded
            = m_database.recorder().recordPeriod(next, keepMarker);
        if (!recorded.hasValue()) {
            m_lastError = recorded.failure().text();
            break;
        }
        m_pending.removeFirst();
        if (keepMarker)
            m_markersToForget.append(next.period.id);
        if (recorded->totals)
            emit feedOf(next.period.station).changed(*recorded->totals);
        if (recorded->totalsUnreadable)
            emit problem(unreadableTotalsText(next.period.station));
    }
    // Starts held while the database refused are saved as soon as it takes them.
    if (m_pending.isEmpty())
        m_openInSideFile.removeIf([this](const OpenPeriod &period) {
            return !m_database.periods().saveOpenPeriod(period);
        });
    // A side file that can't be written now is tried again next time.
    static_cast<void>(saveSideFile());
    if (m_pending.isEmpty() && m_openInSideFile.isEmpty())
        m_retry.stop();
    else if (!m_retry.isActive())
        m_retry.start();
}

Failure UsageLedger::saveSideFile()
{
    QJsonArray entries;
    QStringList ids;
    for (const OpenPeriod &period : std::as_const(m_openInSideFile)) {
        entries.append(toJson(period));
        ids.append(period.id);
    }
    for (const StoppedPeriod &stopped : std::as_const(m_pending)) {
        entries.append(toJson(stopped, m_tariffs));
        ids.append(stopped.period.id);
    }
    const QByteArray bytes = entries.isEmpty()
        ? QByteArray()
        : QJsonDocument(QJsonObject{{periodsKey, entries}}).toJson();
    if (bytes == m_sideFileBytes && ids == m_sideFileIds) {
        forgetMarkers();
        return Failure::none();
    }
    if (bytes.isEmpty()) {
        if (!QFile::remove(m_sideFilePath) && QFile::exists(m_sideFilePath))
            return Failure(QStringLiteral("%1 lässt sich nicht löschen")
                               .arg(QDir::toNativeSeparators(m_sideFilePath)));
    } else if (Failure failure = writeDurably(m_sideFilePath, bytes)) {
        return failure;
    }
    m_sideFileBytes = bytes;
    m_sideFileIds = ids;
    forgetMarkers();
    return Failure::none();
}

bool UsageLedger::sideFileHolds(const QString &periodId) const
{
    return m_sideFileIds.contains(periodId);
}

// A period that the side file no longer names needs no mark in the database.
void UsageLedger::forgetMarkers()
{
    m_markersToForget.removeIf([this](const QString &id) {
        return !sideFileHolds(id) && !m_database.periods().forgetRecorded(id);
    });
}

QString UsageLedger::unreadableTotalsText(int station)
{
    return QStringLiteral("In der Tabelle client%1stat ist das Feld Entgeld kein Betrag. Die "
                          "Nutzungen von Station %1"
                          " werden gespeichert, ihre Summen nicht fortgeschrieben. Bitte das Feld "
                          "berichtigen (z. B."
                          " 12,5) und Kavo neu starten.")
        .arg(station);
}

QString UsageLedger::refusalText(const StoppedPeriod &stopped, const QString &reason,
                                 bool inSideFile) const
{
    const QString kept = inSideFile
        ? QStringLiteral(
              "Kavo hat sie in %1 festgehalten und trägt sie nach, sobald die Datenbank wieder"
              " schreibbar ist.")
              .arg(QDir::toNativeSeparators(m_sideFilePath))
        : QStringLiteral("Kavo hält sie nur im Speicher und trägt sie nach, sobald die Datenbank "
                         "wieder schreibbar"
                         " ist; Kavo bis dahin bitte nicht beenden.");
    return QStringLiteral("Station %1: Die Nutzung von %2 bis %3 (%4, %5) ließ sich nicht in der "
                          "Datenbank speichern"
                          " (%6). %7")
        .arg(stopped.period.station)
        .arg(stopped.record.start, stopped.record.end, stopped.record.duration, stopped.record.fee,
             reason, kept);
}
