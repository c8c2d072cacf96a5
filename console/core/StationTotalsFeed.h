#pragma once

#include "UsageRecorder.h"

#include <QObject>

// One station's totals as the ledger writes its records, some of them late: the
// station's session listens to its own feed alone.
class StationTotalsFeed : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void changed(const UsageTotals &totals);
};
