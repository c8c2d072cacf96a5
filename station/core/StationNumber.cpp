#include "StationNumber.h"

#include "IniFile.h"
#include "TextFormats.h"

#include <QDir>

#include <optional>

namespace {
const QString programNamePrefix = QStringLiteral("Client");

std::optional<int> numberIn(const QString &digits)
{
    return TextFormats::parseWholeNumber(digits, StationNumber::first, StationNumber::last);
}

QString range()
{
    return QStringLiteral("%1 bis %2").arg(StationNumber::first).arg(StationNumber::last);
}
}

StationNumber::StationNumber(int value, const QString &problem, bool connects)
    : m_value(value)
    , m_problem(problem)
    , m_connects(connects)
{
}

StationNumber StationNumber::find(const QString &programDirectory, const QString &programName)
{
    const QString key = IniFile::read(QDir(programDirectory).filePath(QStringLiteral("Client.ini")),
                                      QStringLiteral("Server"), QStringLiteral("Station"));
    if (!key.isEmpty()) {
        if (const std::optional<int> number = numberIn(key))
            return {*number, {}};
        return {first,
                QStringLiteral(u"In Client.ini steht im Abschnitt [Server] „Station=%1“. Die "
                               u"Stationsnummer muss eine Zahl von %2 sein. Diese Station "
                               u"verbindet sich nicht mit Kavo, bis der Wert berichtigt ist.")
                    .arg(key, range()),
                false};
    }
    if (programName.startsWith(programNamePrefix, Qt::CaseInsensitive)) {
        if (const std::optional<int> number = numberIn(programName.mid(programNamePrefix.size())))
            return {*number, {}};
    }
    return {first,
            QStringLiteral(u"In Client.ini fehlt im Abschnitt [Server] der Eintrag „Station“, "
                           u"und der Programmname „%1“ nennt keine Stationsnummer von %2. Diese "
                           u"Station läuft als Station %3.")
                .arg(programName, range(), QString::number(first))};
}

QString StationNumber::problemTitle()
{
    return QStringLiteral(u"Keine gültige Stationsnummer");
}
