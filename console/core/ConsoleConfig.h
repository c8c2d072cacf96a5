#pragma once

#include <QString>

// The six settings of Kavo.ini, held as the texts they are written as.
struct ConsoleConfig
{
    QString tariffBase;       // "Gebühr" / "Einheit 15min"
    QString tariffOver30;     // "Gebühr" / "Über 30min"
    QString tariffOver60;     // "Gebühr" / "Über 60min"
    QString dbName;           // "DB" / "DB Name"
    QString companyName;      // "Firma" / "Firmen Name"
    QString statisticsSwitch; // "Statistik" / "Statistik"

    bool showsStatistics() const { return statisticsSwitch == QLatin1String("1"); }

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
inline const QString dbSection = QStringLiteral("DB");
inline const QString dbName = QStringLiteral("DB Name");
inline const QString companySection = QStringLiteral("Firma");
inline const QString companyName = QStringLiteral("Firmen Name");
inline const QString statisticsSection = QStringLiteral("Statistik");
inline const QString statistics = QStringLiteral("Statistik");
}
