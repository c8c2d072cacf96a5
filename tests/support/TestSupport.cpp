#include "TestSupport.h"

#include "ClockTimer.h"
#include "ManualClock.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSettings>
#include <QTcpServer>
#include <QUuid>

MessageRecorder::MessageRecorder(QMessageBox::StandardButton answer)
    : m_answer(answer)
{
    MessageDialog::setHandler([this](const MessageDialog::Request &request) {
        m_shown.append(request);
        return m_answer;
    });
}

MessageRecorder::~MessageRecorder()
{
    MessageDialog::setHandler({});
}

QStringList MessageRecorder::texts() const
{
    QStringList result;
    for (const MessageDialog::Request &request : m_shown)
        result.append(request.text);
    return result;
}

void isolateUserSettings(const QTemporaryDir &dir)
{
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, dir.path());
}

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    return probe.serverPort();
}

void settle(int passes)
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    for (int pass = 0; pass < passes; ++pass) {
        QCoreApplication::sendPostedEvents();
        if (!dispatcher->processEvents(QEventLoop::AllEvents))
            return;
    }
}

void whenClockReaches(ManualClock &clock, qint64 afterMs, QObject *context,
                      std::function<void()> action)
{
    auto *watch = new ClockTimer(context);
    QObject::connect(watch, &ClockTimer::timeout, context, [watch, action] {
        watch->deleteLater();
        action();
    });
    watch->startAt(clock.elapsedMs() + afterMs);
}

bool writtenNow(const Result<RecordedPeriod> &recorded)
{
    return recorded.hasValue() && !recorded->earlier;
}

StoppedPeriod stoppedPeriod(int station, const UsageRecord &record, qint64 durationSeconds,
                            int month)
{
    const OpenPeriod period{QUuid::createUuid().toString(QUuid::WithoutBraces), station,
                            QDateTime(QDate(2004, month, 1), QTime(12, 0)), record.start, 0};
    return {period, record, durationSeconds, month, {}, {}, std::nullopt};
}
