#pragma once

#include "StationPanel.h"

#include <QObject>

#include <memory>
#include <vector>

class QAction;
class StationSession;
class UsageLedger;

// Binds one station's panel to its session: the operator's clicks and typing go to
// the session, and what the session shows appears on the panel.
class StationController : public QObject
{
    Q_OBJECT

public:
    // `sessions`: every station's, those a period may move to.
    StationController(StationPanel &panel, StationSession &session,
                      const std::vector<std::unique_ptr<StationSession>> &sessions,
                      UsageLedger &ledger, QObject *parent = nullptr);

    bool periodRunning() const;

private:
    void connectControls();
    void connectDisplay();
    void showInterval(int minutes);
    void offerMoveTargets();
    void moveTo(int station);
    void pauseOrResume();

    StationPanel &m_panel;
    StationSession &m_session;
    const std::vector<std::unique_ptr<StationSession>> &m_sessions;
    UsageLedger &m_ledger;
    QAction *m_pauseAction = nullptr; // in the context menu
};
