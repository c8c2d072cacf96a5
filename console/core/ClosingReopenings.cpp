#include "ClosingReopenings.h"

#include "Clock.h"
#include "Closings.h"
#include "OperatorRoster.h"
#include "RecordChain.h"
#include "SqlStatement.h"
#include "TextFormats.h"

#include <algorithm>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
const QString closingKey = QStringLiteral("abschluss");
const QString reasonKey = QStringLiteral("grund");
}

const QString ClosingReopenings::kind = QStringLiteral("Wiedereröffnung");

ClosingReopenings::ClosingReopenings(const SqlConnection &db, RecordChain &chain)
    : m_db(db)
    , m_chain(chain)
{
}

bool ClosingReopenings::needsOwnerPin() const
{
    return OperatorRoster(m_db).hasOwner();
}

Failure ClosingReopenings::check(const Closing &closing, const QString &ownerPin,
                                 const QString &reason) const
{
    if (closing.kind != Closing::Day || !closing.isSaved())
        return Failure(QStringLiteral("Der %1 ist nicht abgeschlossen.")
                           .arg(TextFormats::date(closing.from.date())));
    if (needsOwnerPin() && !OperatorRoster(m_db).isOwnerPin(ownerPin))
        return Failure(QStringLiteral("Die PIN des Inhabers stimmt nicht."));
    if (reason.trimmed().isEmpty())
        return Failure(QStringLiteral("Bitte einen Grund für das Wiederöffnen angeben."));
    return Failure::none();
}

Failure ClosingReopenings::reopen(const Closing &closing, const QString &ownerPin,
                                  const QString &operatorName, const QString &reason)
{
    if (const Failure failure = check(closing, ownerPin, reason))
        return failure;
    const QJsonObject figures{{closingKey, closing.number}, {reasonKey, reason.trimmed()}};
    const auto bind = [&](SqlStatement &insert) {
        return insert.bind(1, kind) && insert.bind(2, TextFormats::moment(Clock::current().now()))
            && insert.bind(3, needsOwnerPin() ? OperatorRoster::ownerName : operatorName)
            && insert.bind(4,
                           QString::fromUtf8(QJsonDocument(figures).toJson(QJsonDocument::Compact)))
            && insert.bind(5, qint64(closing.number));
    };
    return m_chain
        .saveClosing(QStringLiteral("SELECT (SELECT max(Nummer) + 1 FROM Abschluesse), ?1, Von,"
                                    " Bis, ?2, ?3, ?4, Fingerabdruck%1 FROM Abschluesse"
                                    " WHERE Nummer = ?5"),
                     bind)
        .failure();
}

bool ClosingReopenings::reopens(const QList<ClosingReopening> &reopenings, int closingNumber)
{
    return std::any_of(reopenings.cbegin(), reopenings.cend(),
                       [&](const ClosingReopening &reopening) {
                           return reopening.closingNumber == closingNumber;
                       });
}

QList<ClosingReopening> ClosingReopenings::ofDay(const QDate &day) const
{
    SqlStatement query(m_db.get(),
                       QStringLiteral("SELECT Nummer, Erstellt, Bediener, Zahlen FROM Abschluesse"
                                      " WHERE Art = ?1 AND substr(Von, 1, 10) = ?2"
                                      " ORDER BY Nummer"));
    QList<ClosingReopening> reopenings;
    if (!query.bind(1, kind) || !query.bind(2, day.toString(Qt::ISODate)))
        return reopenings;
    while (query.next()) {
        const QJsonObject figures
            = QJsonDocument::fromJson(query.text(3).value_or(QString()).toUtf8()).object();
        reopenings.append({int(query.integer(0).value_or(0)), figures.value(closingKey).toInt(),
                           QDateTime::fromString(query.text(1).value_or(QString()), Qt::ISODate),
                           query.text(2).value_or(QString()), figures.value(reasonKey).toString()});
    }
    return reopenings;
}
