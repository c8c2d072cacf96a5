#pragma once

#include "StationPanel.h"

#include <QObject>

class StationSession;

// Binds one station's panel to its session: the operator's clicks and typing go to
// the session, and what the session shows appears on the panel.
class StationController : public QObject
{
    Q_OBJECT

public:
    StationController(StationPanel &panel, StationSession &session, QObject *parent = nullptr);

    bool periodRunning() const;

private:
    void connectControls();
    void connectDisplay();
    void showInterval(int minutes);

    StationPanel &m_panel;
    StationSession &m_session;
};
