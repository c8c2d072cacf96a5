#include "ConsoleConfig.h"

#include "IniFile.h"
#include "PreSharedKey.h"
#include "StationAddressRule.h"

#include <QDir>

#include <algorithm>
#include <optional>

namespace {
// A whole number of stations within the range, written in digits alone.
std::optional<int> readStationCount(const QString &text)
{
    const QString digits = text.trimmed();
    if (digits.isEmpty() || digits.size() > 2
        || !std::all_of(digits.begin(), digits.end(),
                        [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    const int count = digits.toInt();
    if (count < 1 || count > ConsoleConfig::maxStationCount)
        return std::nullopt;
    return count;
}
}

QString ConsoleConfig::iniPath(const QString &programDir)
{
    return QDir(programDir).filePath(QStringLiteral("Kavo.ini"));
}

ConsoleConfig ConsoleConfig::read(const QString &programDir)
{
    // Read once: a large file costs one pass over its first megabyte.
    const IniFile::Contents file = IniFile::Contents::load(iniPath(programDir));
    ConsoleConfig config;
    config.tariffBase = file.value(ConsoleKeys::feeSection, ConsoleKeys::tariffBase);
    config.tariffOver30 = file.value(ConsoleKeys::feeSection, ConsoleKeys::tariffOver30);
    config.tariffOver60 = file.value(ConsoleKeys::feeSection, ConsoleKeys::tariffOver60);
    config.feeScale = file.value(ConsoleKeys::feeSection, ConsoleKeys::feeScale);
    config.dbName = file.value(ConsoleKeys::dbSection, ConsoleKeys::dbName);
    config.companyName = file.value(ConsoleKeys::companySection, ConsoleKeys::companyName);
    config.statisticsSwitch = file.value(ConsoleKeys::statisticsSection, ConsoleKeys::statistics);
    config.stationCountText = file.value(ConsoleKeys::stationsSection, ConsoleKeys::stationCount);
    for (int station = 1; station <= maxStationCount; ++station) {
        config.stationAddressTexts.append(
            file.value(ConsoleKeys::stationsSection, ConsoleKeys::stationAddress(station)));
        config.stationKeyTexts.append(
            file.value(ConsoleKeys::stationsSection, ConsoleKeys::stationKey(station)));
        config.stationPriceSwitches.append(
            file.value(ConsoleKeys::stationsSection, ConsoleKeys::stationPrice(station)));
    }
    return config;
}

bool ConsoleConfig::capsFeesByLongerPeriods() const
{
    return feeScale == ConsoleKeys::feeScaleCapped;
}

int ConsoleConfig::stationCount() const
{
    return readStationCount(stationCountText).value_or(defaultStationCount);
}

QString ConsoleConfig::stationCountProblem() const
{
    if (stationCountText.trimmed().isEmpty() || readStationCount(stationCountText))
        return {};
    return QStringLiteral("Kavo.ini: „%1“ unter „Anzahl“ im Abschnitt „Stationen“ ist keine Zahl"
                          " von 1 bis %2. Kavo arbeitet mit %3 Stationen.")
        .arg(stationCountText, QString::number(maxStationCount),
             QString::number(defaultStationCount));
}

QString ConsoleConfig::stationAddressText(int station) const
{
    return station <= stationAddressTexts.size() ? stationAddressTexts[station - 1] : QString();
}

QStringList ConsoleConfig::stationAddressProblems() const
{
    QStringList problems;
    for (int station = 1; station <= stationCount(); ++station) {
        const QString text = stationAddressText(station);
        if (StationAddressRule::formOf(text) != StationAddressRule::Form::Malformed)
            continue;
        problems.append(
            QStringLiteral("Kavo.ini: „%1“ unter „%2“ im Abschnitt „Stationen“ ist"
                           " weder eine IPv4-Adresse noch ein Rechnername. Kavo nimmt"
                           " von Station %3 keine Verbindung an, bis der Wert"
                           " berichtigt ist.")
                .arg(text, ConsoleKeys::stationAddress(station), QString::number(station)));
    }
    return problems;
}

bool ConsoleConfig::sendsPriceTo(int station) const
{
    return stationPriceSwitches.value(station - 1) == QLatin1String("1");
}

QString ConsoleConfig::stationKeyText(int station) const
{
    return station <= stationKeyTexts.size() ? stationKeyTexts[station - 1] : QString();
}

QStringList ConsoleConfig::stationKeyProblems() const
{
    QStringList problems;
    for (int station = 1; station <= stationCount(); ++station) {
        if (PreSharedKey::formOf(stationKeyText(station)) != PreSharedKey::Form::Malformed)
            continue;
        problems.append(
            QStringLiteral("Kavo.ini: Der Wert unter „%1“ im Abschnitt „Stationen“ ist kein"
                           " Schlüssel aus %2 bis %3 Hexadezimalziffern (gerade Anzahl). Kavo"
                           " nimmt von Station %4 keine Verbindung an, bis der Wert berichtigt"
                           " ist.")
                .arg(ConsoleKeys::stationKey(station), QString::number(PreSharedKey::minHexDigits),
                     QString::number(PreSharedKey::maxHexDigits), QString::number(station)));
    }
    return problems;
}
