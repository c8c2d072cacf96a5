#include "UsageLedger.h"

#include "TextFormats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUuid>

#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr int retryIntervalMs = 30'000;
const QString periodsKey = QStringLiteral("perioden");

QJsonObject toJson(const OpenPeriod &period)
{
    return {{QStringLiteral("periode"), period.id},
            {QStringLiteral("station"), period.station},
            {QStringLiteral("beginn"), period.beginText()},
            {QStringLiteral("startzeit"), period.startText},
            {QStringLiteral("intervall"), period.intervalMinutes}};
}

QJsonObject toJson(const StoppedPeriod &stopped)
{
    QJsonObject entry = toJson(stopped.period);
    entry.insert(QStringLiteral("start"), stopped.record.start);
    entry.insert(QStringLiteral("ende"), stopped.record.end);
    entry.insert(QStringLiteral("dauer"), stopped.record.duration);
    entry.insert(QStringLiteral("kosten"), stopped.record.fee);
    entry.insert(QStringLiteral("sekunden"), stopped.durationSeconds);
    entry.insert(QStringLiteral("monat"), stopped.month);
    return entry;
}

std::optional<OpenPeriod> openPeriodFrom(const QJsonObject &entry)
{
    OpenPeriod period{entry.value(QStringLiteral("periode")).toString(), entry.value(QStringLiteral("station")).toInt(),
                      QDateTime::fromString(entry.value(QStringLiteral("beginn")).toString(), Qt::ISODateWithMs),
                      entry.value(QStringLiteral("startzeit")).toString(),
                      entry.value(QStringLiteral("intervall")).toInt()};
    if (period.id.isEmpty() || (period.station != 1 && period.station != 2) || !period.begin.isValid())
        return std::nullopt;
    return period;
}

bool isStopped(const QJsonObject &entry)
{
    return entry.contains(QStringLiteral("ende"));
}

StoppedPeriod stoppedPeriodFrom(const OpenPeriod &period, const QJsonObject &entry)
{
    return {period,
            {entry.value(QStringLiteral("start")).toString(), entry.value(QStringLiteral("ende")).toString(),
             entry.value(QStringLiteral("dauer")).toString(), entry.value(QStringLiteral("kosten")).toString()},
            qint64(entry.value(QStringLiteral("sekunden")).toDouble()),
            entry.value(QStringLiteral("monat")).toInt()};
}

// The file is complete on disk, under its name, before this returns true.
bool writeDurably(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()
        || ::fsync(file.handle()) != 0 || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    const int directory = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return true;
}
}

UsageLedger::UsageLedger(UsageDatabase &database, const QString &sideFilePath, QObject *parent)
    : QObject(parent)
    , m_database(database)
    , m_sideFilePath(sideFilePath)
{
    m_retry.setInterval(retryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, &UsageLedger::writePending);
}

QString UsageLedger::sideFilePathFor(const QString &databasePath)
{
    const QFileInfo database(databasePath);
    return database.dir().filePath(database.completeBaseName() + QStringLiteral(".nachtrag"));
}

bool UsageLedger::recover(QString *error)
{
    QFile file(m_sideFilePath);
    QJsonArray entries;
    if (file.exists()) {
        QJsonParseError parseError{};
        const QJsonDocument document = file.open(QIODevice::ReadOnly)
            ? QJsonDocument::fromJson(file.readAll(), &parseError)
            : QJsonDocument();
        if (!document.isObject() || !document.object().value(periodsKey).isArray()) {
            *error = QStringLiteral("Die Datei %1 mit noch nicht gespeicherten Nutzungen ist nicht lesbar. Bitte"
                                    " sichern und aus dem Programmverzeichnis entfernen.")
                         .arg(QDir::toNativeSeparators(m_sideFilePath));
            return false;
        }
        entries = document.object().value(periodsKey).toArray();
    }

    const QStringList recorded = m_database.recordedPeriods();
    m_markersToForget = recorded;
    QStringList stoppedIds;
    for (const QJsonValue &value : entries) {
        const std::optional<OpenPeriod> period = openPeriodFrom(value.toObject());
        if (!period)
            continue;
        m_sideFileIds.append(period->id);
        const QJsonObject entry = value.toObject();
        if (!isStopped(entry)) {
            m_openInSideFile.append(*period);
            continue;
        }
        stoppedIds.append(period->id);
        if (!recorded.contains(period->id))
            m_pending.append(stoppedPeriodFrom(*period, entry));
    }
    m_openInSideFile.removeIf([&](const OpenPeriod &period) { return stoppedIds.contains(period.id); });
    for (const QList<OpenPeriod> &source : {m_database.openPeriods(), m_openInSideFile}) {
        for (const OpenPeriod &period : source) {
            if (stoppedIds.contains(period.id) || recorded.contains(period.id))
                continue;
            // One period runs on a station at a time; should two be left, the later counts.
            m_recovered.removeIf([&](const OpenPeriod &other) { return other.station == period.station; });
            m_recovered.append(period);
        }
    }
    writePending();
    return true;
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
    QString reason;
    if (m_database.saveOpenPeriod(period, &reason))
        return period;
    m_openInSideFile.append(period);
    QString fileError;
    if (!saveSideFile(&fileError)) {
        emit problem(QStringLiteral("Station %1: Der Start um %2 ließ sich nicht speichern (%3; %4). Die Nutzung läuft"
                                    " und wird beim Stopp abgerechnet; stürzt Kavo vorher ab, geht sie verloren.")
                         .arg(station)
                         .arg(period.startText, reason, fileError));
    }
    return period;
}

void UsageLedger::finish(const StoppedPeriod &stopped)
{
    m_recovered.removeIf([&](const OpenPeriod &other) { return other.id == stopped.period.id; });
    m_openInSideFile.removeIf([&](const OpenPeriod &other) { return other.id == stopped.period.id; });
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
        const RecordOutcome outcome = m_database.recordPeriod(next, keepMarker);
        if (outcome.kind == RecordOutcome::Refused) {
            m_lastError = outcome.error;
            break;
        }
        m_pending.removeFirst();
        if (keepMarker)
            m_markersToForget.append(next.period.id);
        if (outcome.totals)
            emit totalsChanged(next.period.station, *outcome.totals);
    }
    QString ignored; // a side file that can't be written now is tried again next time
    saveSideFile(&ignored);
    if (m_pending.isEmpty())
        m_retry.stop();
    else if (!m_retry.isActive())
        m_retry.start();
}

bool UsageLedger::saveSideFile(QString *error)
{
    QJsonArray entries;
    QStringList ids;
    for (const OpenPeriod &period : std::as_const(m_openInSideFile)) {
        entries.append(toJson(period));
        ids.append(period.id);
    }
    for (const StoppedPeriod &stopped : std::as_const(m_pending)) {
        entries.append(toJson(stopped));
        ids.append(stopped.period.id);
    }
    const QByteArray bytes = entries.isEmpty() ? QByteArray()
                                               : QJsonDocument(QJsonObject{{periodsKey, entries}}).toJson();
    if (bytes == m_sideFileBytes && ids == m_sideFileIds) {
        forgetMarkers();
        return true;
    }
    if (bytes.isEmpty()) {
        if (!QFile::remove(m_sideFilePath) && QFile::exists(m_sideFilePath)) {
            *error = QStringLiteral("%1 lässt sich nicht löschen").arg(QDir::toNativeSeparators(m_sideFilePath));
            return false;
        }
    } else if (!writeDurably(m_sideFilePath, bytes, error)) {
        return false;
    }
    m_sideFileBytes = bytes;
    m_sideFileIds = ids;
    forgetMarkers();
    return true;
}

bool UsageLedger::sideFileHolds(const QString &periodId) const
{
    return m_sideFileIds.contains(periodId);
}

// A period that the side file no longer names needs no mark in the database.
void UsageLedger::forgetMarkers()
{
    m_markersToForget.removeIf([this](const QString &id) {
        return !sideFileHolds(id) && m_database.forgetRecorded(id);
    });
}

QString UsageLedger::refusalText(const StoppedPeriod &stopped, const QString &reason, bool inSideFile) const
{
    const QString kept = inSideFile
        ? QStringLiteral("Kavo hat sie in %1 festgehalten und trägt sie nach, sobald die Datenbank wieder"
                         " schreibbar ist.")
              .arg(QDir::toNativeSeparators(m_sideFilePath))
        : QStringLiteral("Kavo hält sie nur im Speicher und trägt sie nach, sobald die Datenbank wieder schreibbar"
                         " ist; Kavo bis dahin bitte nicht beenden.");
    return QStringLiteral("Station %1: Die Nutzung von %2 bis %3 (%4, %5) ließ sich nicht in der Datenbank speichern"
                          " (%6). %7")
        .arg(stopped.period.station)
        .arg(stopped.record.start, stopped.record.end, stopped.record.duration, stopped.record.fee, reason, kept);
}
