#pragma once

#include <QDateTime>
#include <QWidget>

#include <optional>
#include <vector>

class ClockTimer;
class EntryField;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class SpacedSender;
class TcpConnection;

// The station's small window, always on top and never closed. It connects to the
// console, announces itself and carries out what the console sends: a timed period
// counting down to its end moment, an endless one counting up, or the stop. While a
// period runs it shows and sends its time once a second, each time the shown second
// changes, woken by a timer; in between it sleeps.
class StationWindow : public QWidget
{
    Q_OBJECT

public:
    // `programDirectory` holds Client.ini. The console is reached on the station's
    // own port unless another is given (tests run a console of their own).
    StationWindow(int station, const QString &programDirectory,
                  std::optional<quint16> consolePort = std::nullopt, QWidget *parent = nullptr);
    ~StationWindow() override;

    // The console's address as read from Client.ini at start.
    QString serverAddress() const { return m_serverAddress; }

    // Carries out one chunk as read from the console: the stop, or the start of a
    // period.
    void handleChunk(const QString &chunk);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void placeInScreenCorner();
    void createItems();
    template<typename Item>
    Item *addItem(Item *item, const char *name, int left, int top, int width, int height);
    void startUp(const QString &programDirectory);
    void startTimeServerRequest();

    void ConnectConsole();
    void releaseInputBlock();
    void TopWindow();
    void showIfMinimised();
    void cmdVerbindenClicked();
    void consoleConnected();
    void consoleClosed();
    void consoleDataArrived();

    void showIdleLayout();
    void startEndlessPeriod(const QString &chunk);
    void startTimedPeriod(const QString &chunk);
    void cmdStartClicked();

    // One period on the display. A period started while another runs takes the
    // display until it has ended and reported its stop; then the one it interrupted
    // carries on.
    struct DisplayedPeriod
    {
        bool endless = false;
        QDateTime end;
        QDateTime start;      // of an endless period, to the whole second
        qint64 loopEndMs = 0; // when its time is up, on the clock's monotonic count
        bool started = false;
        bool passed = false;
        qint64 shownSecond = 0;         // the wall-clock second of its last pass
        std::optional<qint64> stopAtMs; // while it waits to report its stop
    };

    QDateTime SetEndTime();
    void RunCountdown(const QDateTime &end);
    void RunEndless(const QDateTime &end);
    void beginPeriod(DisplayedPeriod period);
    void runDisplay();
    std::optional<qint64> nextStep(DisplayedPeriod &period);
    void makePass(DisplayedPeriod &period);
    qint64 secondAt(qint64 ms) const;
    void countdownPass(const QDateTime &end);
    void endlessPass(const QDateTime &end, const QDateTime &start);
    void showRemainingTime(const QDateTime &end);
    void ReportStop();
    void send(const QString &text);
    void sendTimeText(const QString &text);

    const int m_station;
    const QString m_name;
    const quint16 m_consolePort;
    QString m_serverAddress;
    bool m_stopRequested = false;

    QPushButton *cmdVerbinden = nullptr;
    QPushButton *cmdStart = nullptr;
    QPushButton *cmdStop = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *lbMinute = nullptr;
    EntryField *Text1 = nullptr;
    EntryField *Text2 = nullptr;
    EntryField *Text3 = nullptr;
    QLineEdit *Text4 = nullptr;
    QLineEdit *Text5 = nullptr;
    QLineEdit *Text6 = nullptr;
    QTimer *Timer1 = nullptr;
    ClockTimer *m_displayTimer = nullptr;
    std::vector<DisplayedPeriod> m_periods; // the innermost last
    TcpConnection *Winsock1 = nullptr;
    // Keeps the stop, the start and the announcement apart from the time texts.
    SpacedSender *m_sender = nullptr;
};
