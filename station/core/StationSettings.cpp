#include "StationSettings.h"

#include "DaytimeClock.h"
#include "IniFile.h"
#include "TextFormats.h"

#include <QDir>

namespace {
const QString lockSection = QStringLiteral("Sperre");
}

StationSettings StationSettings::read(const QString &programDirectory)
{
    const IniFile::Contents ini
        = IniFile::Contents::load(QDir(programDirectory).filePath(QStringLiteral("Client.ini")));
    StationSettings settings;
    settings.m_lockActive = ini.value(lockSection, QStringLiteral("Aktiv")) == QStringLiteral("1");
    settings.m_lockText = ini.value(lockSection, QStringLiteral("Text"));
    if (settings.m_lockText.isEmpty())
        settings.m_lockText = QStringLiteral("Bitte an der Kasse freischalten.");
    settings.m_company = ini.value(lockSection, QStringLiteral("Firma"));
    settings.m_customer = ini.value(lockSection, QStringLiteral("Kunde")).trimmed();
    settings.m_resetsHome
        = ini.value(lockSection, QStringLiteral("Zuruecksetzen")) == QStringLiteral("1");
    const QString timeSection = QStringLiteral("Zeit");
    const QString serverKey = QStringLiteral("Server");
    settings.m_timeServer = ini.contains(timeSection, serverKey)
        ? ini.value(timeSection, serverKey).trimmed()
        : QString::fromLatin1(DaytimeClock::TimeServerHost);

    // 0 switches the attempts off; anything else that is not a number from 1 to
    // 3600 counts as not set, which with the lock on means its default.
    const std::optional<int> seconds = TextFormats::parseWholeNumber(
        ini.value(QStringLiteral("Server"), QStringLiteral("Wiederverbinden")), 0,
        maxReconnectSeconds);
    if (seconds && *seconds >= minReconnectSeconds)
        settings.m_reconnectSeconds = seconds;
    else if (seconds != 0 && settings.m_lockActive)
        settings.m_reconnectSeconds = lockReconnectSeconds;
    return settings;
}
