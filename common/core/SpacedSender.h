#pragma once

#include "ClockTimer.h"

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <limits>
#include <optional>

// The outgoing side of one station link. The peer takes whatever has arrived as
// one message, so a text that must be read alone leaves at least `spacingMs`
// after the text before it and before the text after it; texts that wait go out
// in order from the clock's timer.
class SpacedSender : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 spacingMs = 200;

    enum class Spacing {
        Alone,    // kept `spacingMs` away from every other text
        Streamed, // may follow another streamed text at once
    };

    // `transmit` hands a text to the link; a link that is down drops it.
    explicit SpacedSender(std::function<void(const QString &)> transmit, QObject *parent = nullptr);

    // Sends the text now if its spacing allows, or queues it. A text equal to the
    // last one waiting is not queued twice: it would say nothing new.
    void send(const QString &text, Spacing spacing = Spacing::Alone);

    // The text waiting last, and taking it back before it leaves.
    std::optional<QString> lastWaiting() const;
    void withdrawLastWaiting();

    // Forgets the waiting texts and the last one sent: a new connection starts afresh.
    void reset();

private:
    struct Text
    {
        QString text;
        Spacing spacing;
    };

    qint64 dueMs(Spacing spacing) const;
    void transmit(const Text &text);
    void sendWaiting();

    std::function<void(const QString &)> m_transmit;
    std::deque<Text> m_waiting;
    ClockTimer m_timer;
    qint64 m_lastSentMs = std::numeric_limits<qint64>::min() / 2;
    Spacing m_lastSpacing = Spacing::Streamed;
};
