#include "ConsoleConfig.h"

#include "IniFile.h"

#include <QDir>

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
    config.dbName = file.value(ConsoleKeys::dbSection, ConsoleKeys::dbName);
    config.companyName = file.value(ConsoleKeys::companySection, ConsoleKeys::companyName);
    config.statisticsSwitch = file.value(ConsoleKeys::statisticsSection, ConsoleKeys::statistics);
    return config;
}
