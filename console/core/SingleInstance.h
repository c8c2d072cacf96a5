#pragma once

#include <QLocalServer>
#include <QObject>

// One console per user. The first console holds a local socket; a later start
// finds it, asks the first to come to the front and ends. A socket file left by a
// crashed console answers no one and is cleared.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &name = defaultName(), QObject *parent = nullptr);

    // True when this process is now the only console; false when another one runs
    // (which has then been asked to come to the front).
    bool claim();

    static QString defaultName();

signals:
    void activationRequested();

private:
    bool wakeRunningInstance() const;

    QString m_name;
    QLocalServer m_server;
};
