#pragma once

#include "StationDisplay.h"
#include "StationNumber.h"

#include <QWidget>

#include <optional>

class EntryField;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class StationLock;

// The station's small window in the corner of the screen, always on top and never
// closed. It shows what its StationDisplay says and hands it the customer's clicks;
// at start it has the PC's clock set from the time server.
class StationWindow : public QWidget
{
    Q_OBJECT

public:
    // `programDirectory` holds Client.ini. The console is reached on the station's
    // own port unless another is given (tests run a console of their own).
    StationWindow(int station, const QString &programDirectory,
                  std::optional<quint16> consolePort = std::nullopt, QWidget *parent = nullptr);
    // The station program's window: the station the number names, on its own port.
    // Where the number came with a problem, the window tells of it once it is up;
    // a Station value of Client.ini that names no station leaves it unconnected.
    StationWindow(const StationNumber &number, const QString &programDirectory,
                  QWidget *parent = nullptr);

    StationDisplay &display() { return m_display; }

private:
    StationWindow(int station, const QString &programDirectory, std::optional<quint16> consolePort,
                  bool connects, QWidget *parent);
    void placeInScreenCorner(int station);
    void createControls();
    template<typename Control>
    Control *addControl(Control *control, const char *name, int left, int top, int width,
                        int height);
    void bindDisplay();
    QWidget *widgetOf(StationDisplay::Item item) const;
    void startTimeServerRequest();

    void bringToFront();
    void showIfMinimised();
    void keepOnTopWhileIdle(bool periodRunning);
    void showLinkProblem(const QString &text);

    // What the station does and shows; the controls below are bound to it.
    StationDisplay m_display;

    // The controls, each under its old name as objectName, by which tests and
    // tools find it.
    QPushButton *m_connectButton = nullptr;  // cmdVerbinden
    QPushButton *m_startButton = nullptr;    // cmdStart
    QPushButton *m_stopButton = nullptr;     // cmdStop
    QLabel *m_remainingTimeText = nullptr;   // Label1
    QLabel *m_startTimeLabel = nullptr;      // Label2
    QLabel *m_endTimeLabel = nullptr;        // Label3
    QLabel *m_currentTimeLabel = nullptr;    // Label4
    QLabel *m_usedTimeLabel = nullptr;       // Label5
    QLabel *m_intervalLabel = nullptr;       // lbMinute
    QLabel *m_linkProblem = nullptr;         // lblHinweis
    QLabel *m_price = nullptr;               // lblPreis: the fee so far, where the console sends it
    EntryField *m_endDateField = nullptr;    // Text1
    EntryField *m_endTimeField = nullptr;    // Text2
    EntryField *m_intervalField = nullptr;   // Text3
    QLineEdit *m_currentTimeField = nullptr; // Text4
    QLineEdit *m_startTimeField = nullptr;   // Text5
    QLineEdit *m_usedTimeField = nullptr;    // Text6
    QTimer *m_keepOnTopTimer = nullptr;      // Timer1
    // Only where Client.ini switches the lock on.
    StationLock *m_lock = nullptr;
};
