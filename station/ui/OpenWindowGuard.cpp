#include "OpenWindowGuard.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

OpenWindowGuard::OpenWindowGuard(QWidget *window, std::function<void()> restore)
    : QObject(window)
    , m_window(window)
    , m_restore(std::move(restore))
{
    window->installEventFilter(this);
}

bool OpenWindowGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    if (event->type() == QEvent::Close) {
        event->ignore();
        return true;
    }
    if (event->type() == QEvent::WindowStateChange && m_window->isMinimized())
        QTimer::singleShot(0, m_window, m_restore);
    return false;
}
