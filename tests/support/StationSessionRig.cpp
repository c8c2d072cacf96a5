#include "StationSessionRig.h"

namespace {
const Tariffs demoTariffs{QStringLiteral("1,50"), QStringLiteral("1,20"), QStringLiteral("1,00")};

QString databasePathIn(const QTemporaryDir &dir)
{
    return UsageDatabase::pathFor(dir.path(), QStringLiteral("kavo"));
}
}

StationSessionRig::StationSessionRig(const QDateTime &start)
    : m_clock(start)
    , m_clockGuard(m_clock)
    , m_ledger(m_database, UsageLedger::sideFilePathFor(databasePathIn(m_dir)))
    , m_session(1, 0, m_ledger, demoTariffs)
{
    const QString path = databasePathIn(m_dir);
    m_error = Failure::ofFirst({[&] { return UsageDatabase::create(path); },
                                [&] { return m_database.open(path); },
                                [&] { return m_ledger.recover(); }})
                  .text();
}

QList<QVariantList> StationSessionRig::records()
{
    const std::optional<XlsSheetData> table = m_database.statistics().exportStation(1);
    return table ? table->rows : QList<QVariantList>();
}
