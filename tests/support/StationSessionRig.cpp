#include "StationSessionRig.h"

namespace {
const Tariffs demoTariffs{QStringLiteral("1,50"), QStringLiteral("1,20"), QStringLiteral("1,00")};

QString databasePathIn(const QTemporaryDir &dir)
{
    return UsageDatabase::pathFor(dir.path(), QStringLiteral("kavo"));
}
}

StationSessionRig::StationSessionRig(const QDateTime &start, quint16 port)
    : m_clock(std::in_place, start)
    , m_clockGuard(std::in_place, *m_clock)
    , m_ledger(m_database, UsageLedger::sideFilePathFor(databasePathIn(m_dir)), demoTariffs)
    , m_session(1, port, m_ledger, demoTariffs)
{
    prepare();
}

StationSessionRig::StationSessionRig(quint16 port)
    : m_ledger(m_database, UsageLedger::sideFilePathFor(databasePathIn(m_dir)), demoTariffs)
    , m_session(1, port, m_ledger, demoTariffs)
{
    prepare();
}

void StationSessionRig::prepare()
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
