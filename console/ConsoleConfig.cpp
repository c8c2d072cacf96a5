#include "ConsoleConfig.h"

#include "IniFile.h"

#include <QDir>

QString ConsoleConfig::iniPath(const QString &programDir)
{
    return QDir(programDir).filePath(QStringLiteral("Kavo.ini"));
}

ConsoleConfig ConsoleConfig::read(const QString &programDir)
{
    const QString path = iniPath(programDir);
    ConsoleConfig config;
    config.tariffBase = IniFile::read(path, ConsoleKeys::feeSection, ConsoleKeys::tariffBase);
    config.tariffOver30 = IniFile::read(path, ConsoleKeys::feeSection, ConsoleKeys::tariffOver30);
    config.tariffOver60 = IniFile::read(path, ConsoleKeys::feeSection, ConsoleKeys::tariffOver60);
    config.dbName = IniFile::read(path, ConsoleKeys::dbSection, ConsoleKeys::dbName);
    config.companyName = IniFile::read(path, ConsoleKeys::companySection, ConsoleKeys::companyName);
    config.statisticsSwitch = IniFile::read(path, ConsoleKeys::statisticsSection, ConsoleKeys::statistics);
    return config;
}
