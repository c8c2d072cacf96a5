#include "BenchCommandLine.h"

#include "UsageDatabase.h"
#include "UsageRecordFill.h"

#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

BenchCommandLine::BenchCommandLine(int argc, char *argv[], int records)
    : BenchCommandLine(argc, argv, 0, records, false)
{
}

BenchCommandLine::BenchCommandLine(int argc, char *argv[], int stations, int records)
    : BenchCommandLine(argc, argv, stations, records, true)
{
}

BenchCommandLine::BenchCommandLine(int argc, char *argv[], int stations, int records,
                                   bool stationsGiven)
    : m_stations(stations)
    , m_records(records)
{
    const int first = stationsGiven ? 2 : 1;
    if (stationsGiven && argc > 1)
        m_stations = std::atoi(argv[1]);
    if (argc > first)
        m_records = std::atoi(argv[first]);
    if (argc > first + 1)
        m_folder = argv[first + 1];
    m_valid = m_records >= 1 && (!stationsGiven || (m_stations >= 1 && m_stations <= 32));
    if (!m_valid)
        std::fprintf(stderr, "%s %s[<records per station> [<folder>]]%s\n",
                     qPrintable(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName()),
                     stationsGiven ? "[<stations> " : "", stationsGiven ? "]" : "");
}

const QTemporaryDir &BenchCommandLine::temporaryFolder(const char *inside)
{
    m_temporary = std::make_unique<QTemporaryDir>(benchFolderTemplate(inside));
    return *m_temporary;
}

Result<QString> BenchCommandLine::newFilePath()
{
    const QTemporaryDir &folder = temporaryFolder(m_folder);
    if (!folder.isValid())
        return Failure(folder.errorString());
    return UsageDatabase::pathFor(folder.path(), QStringLiteral("bench"));
}

QString BenchCommandLine::keptFolder()
{
    return m_folder ? QString::fromLocal8Bit(m_folder) : temporaryFolder(nullptr).path();
}
