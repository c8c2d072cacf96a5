#pragma once

#include "MessageDialog.h"
#include "UsageDatabase.h"

#include <QList>
#include <QTemporaryDir>

#include <functional>

class ManualClock;
class QObject;

// Records every message box a test provokes and answers it with a chosen button.
class MessageRecorder
{
public:
    explicit MessageRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok);
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder &) = delete;
    MessageRecorder &operator=(const MessageRecorder &) = delete;

    void answerWith(QMessageBox::StandardButton answer) { m_answer = answer; }
    const QList<MessageDialog::Request> &shown() const { return m_shown; }
    QStringList texts() const;
    void clear() { m_shown.clear(); }

private:
    QList<MessageDialog::Request> m_shown;
    QMessageBox::StandardButton m_answer;
};

// Points the per-user settings store at a fresh temporary folder for the test's run.
void isolateUserSettings(const QTemporaryDir &dir);

// A TCP port that nothing on this machine listens on right now.
quint16 freeLoopbackPort();

// Runs what the event loop holds (posted events, timers due, alarms of a test clock
// that fell due, bytes a loopback peer in this process sent) pass after pass, until
// a pass finds nothing or `passes` have run: a test clock running freely moves on by
// one step a pass. For checking that nothing more happens, without a wait.
void settle(int passes = 100);

// Runs `action` from within the event loop when the clock (the one installed)
// reaches `afterMs` from now; `context` owns the watch.
void whenClockReaches(ManualClock &clock, qint64 afterMs, QObject *context,
                      std::function<void()> action);

// True when the database wrote the record now (neither refused nor recorded before).
bool writtenNow(const Result<RecordedPeriod> &recorded);

// A stopped period as the console hands it to the database, under a fresh id.
StoppedPeriod stoppedPeriod(int station, const UsageRecord &record, qint64 durationSeconds,
                            int month);
