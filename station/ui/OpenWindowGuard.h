#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Keeps a window of the station open: a close is refused, and a window minimised
// all the same, by the window manager or a key, is restored from the event loop
// by `restore`.
class OpenWindowGuard : public QObject
{
public:
    OpenWindowGuard(QWidget *window, std::function<void()> restore);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    std::function<void()> m_restore;
};
