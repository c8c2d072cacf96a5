#pragma once

#include <QObject>
#include <QSocketNotifier>

// The system's request to end the program (SIGTERM, as systemd's stop sends it,
// SIGINT and SIGHUP), turned into a signal of the event loop, where anything may be
// done before the program ends. Only one may exist.
class TerminationSignal : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignal(QObject *parent = nullptr);
    ~TerminationSignal() override;

signals:
    void received();

private:
    void take();

    int m_pipe[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
};
