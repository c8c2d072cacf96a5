#include "SpacedSender.h"

#include "Clock.h"

#include <utility>

SpacedSender::SpacedSender(std::function<void(const QString &)> transmit, QObject *parent)
    : QObject(parent)
    , m_transmit(std::move(transmit))
{
    connect(&m_timer, &ClockTimer::timeout, this, &SpacedSender::sendWaiting);
}

void SpacedSender::send(const QString &text, Spacing spacing)
{
    if (m_waiting.empty() && Clock::current().elapsedMs() >= dueMs(spacing)) {
        transmit({text, spacing});
        return;
    }
    if (lastWaiting() == text)
        return;
    m_waiting.push_back({text, spacing});
    if (!m_timer.isActive())
        m_timer.startAt(dueMs(m_waiting.front().spacing));
}

std::optional<QString> SpacedSender::lastWaiting() const
{
    if (m_waiting.empty())
        return std::nullopt;
    return m_waiting.back().text;
}

void SpacedSender::withdrawLastWaiting()
{
    if (m_waiting.empty())
        return;
    m_waiting.pop_back();
    if (m_waiting.empty())
        m_timer.stop();
}

void SpacedSender::reset()
{
    m_waiting.clear();
    m_timer.stop();
    m_lastSentMs = std::numeric_limits<qint64>::min() / 2;
    m_lastSpacing = Spacing::Streamed;
}

// The earliest moment a text of this spacing may follow the last one sent.
qint64 SpacedSender::dueMs(Spacing spacing) const
{
    if (spacing == Spacing::Streamed && m_lastSpacing == Spacing::Streamed)
        return m_lastSentMs;
    return m_lastSentMs + spacingMs;
}

void SpacedSender::transmit(const Text &text)
{
    m_lastSentMs = Clock::current().elapsedMs();
    m_lastSpacing = text.spacing;
    m_transmit(text.text);
}

void SpacedSender::sendWaiting()
{
    while (!m_waiting.empty()) {
        const qint64 due = dueMs(m_waiting.front().spacing);
        if (Clock::current().elapsedMs() < due) {
            m_timer.startAt(due);
            return;
        }
        const Text text = m_waiting.front();
        m_waiting.pop_front();
        transmit(text);
    }
}
