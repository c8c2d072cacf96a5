#pragma once

#include <QString>
#include <QStringList>

// The settings of Kavo.ini, held as the texts they are written as.
struct ConsoleConfig
{
    static constexpr int defaultStationCount = 2;
    static constexpr int maxStationCount = 32;

    QString tariffBase;       // "Gebühr" / "Einheit 15min"
    QString tariffOver30;     // "Gebühr" / "Über 30min"
    QString tariffOver60;     // "Gebühr" / "Über 60min"
    QString feeScale;         // "Gebühr" / "Staffel"
    QString dbName;           // "DB" / "DB Name"
    QString companyName;      // "Firma" / "Firmen Name"
    QString statisticsSwitch; // "Statistik" / "Statistik"
    QString stationCountText; // "Stationen" / "Anzahl"
    // "Stationen" / "Adresse1" to "Adresse32", in the stations' order.
    QStringList stationAddressTexts;
    // "Stationen" / "Schluessel1" to "Schluessel32", in the stations' order.
    QStringList stationKeyTexts;
    // "Stationen" / "Preis1" to "Preis32", in the stations' order.
    QStringList stationPriceSwitches;

    // "Staffel=deckeln": no period costs more than a longer one would.
    bool capsFeesByLongerPeriods() const;
    bool showsStatistics() const { return statisticsSwitch == QLatin1String("1"); }

    // How many stations the console serves: the number set, 1 to 32; two where none
    // is set or the value is no such number.
    int stationCount() const;
    // What the operator is told at start about a value that is no station count;
    // empty where the value is one or none is set.
    QString stationCountProblem() const;

    // The address station n may connect from; empty where any may.
    QString stationAddressText(int station) const;
    // What the operator is told at start about each station served whose address is
    // neither an IPv4 address nor a host name; such a station is refused to all.
    QStringList stationAddressProblems() const;

    // The key station n proves itself with, as hex text; empty where it has none.
    QString stationKeyText(int station) const;
    // What the operator is told at start about each station served whose key is no
    // key; nobody can connect as such a station.
    QStringList stationKeyProblems() const;

    // "Preis<n>=1": station n is sent the running fee. Only a station of this
    // version knows the message; an older one ends its period on it.
    bool sendsPriceTo(int station) const;

    static QString iniPath(const QString &programDir);

    // Reads the settings in the order the file lists them (przInilesen).
    static ConsoleConfig read(const QString &programDir);
};

// Sections and keys of Kavo.ini.
namespace ConsoleKeys {
inline const QString feeSection = QStringLiteral("Gebühr");
inline const QString tariffBase = QStringLiteral("Einheit 15min");
inline const QString tariffOver30 = QStringLiteral("Über 30min");
inline const QString tariffOver60 = QStringLiteral("Über 60min");
inline const QString feeScale = QStringLiteral("Staffel");
inline const QString feeScaleCapped = QStringLiteral("deckeln");
inline const QString dbSection = QStringLiteral("DB");
inline const QString dbName = QStringLiteral("DB Name");
inline const QString companySection = QStringLiteral("Firma");
inline const QString companyName = QStringLiteral("Firmen Name");
inline const QString statisticsSection = QStringLiteral("Statistik");
inline const QString statistics = QStringLiteral("Statistik");
inline const QString stationsSection = QStringLiteral("Stationen");
inline const QString stationCount = QStringLiteral("Anzahl");
inline QString stationAddress(int station)
{
    return QStringLiteral("Adresse%1").arg(station);
}
inline QString stationKey(int station)
{
    return QStringLiteral("Schluessel%1").arg(station);
}
inline QString stationPrice(int station)
{
    return QStringLiteral("Preis%1").arg(station);
}
}
