#include "EndNotice.h"

#include <QGuiApplication>
#include <QScreen>

EndNotice::EndNotice()
    : QLabel(nullptr,
             Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                 | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint)
{
    setObjectName(QStringLiteral("Hinweis"));
    setWindowTitle(QStringLiteral("Hinweis"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setAlignment(Qt::AlignCenter);
    setMargin(16);
    setStyleSheet(QStringLiteral("QLabel { background: #fff3b0; color: black; border: 2px solid "
                                 "#a08000; }"));
    QFont larger = font();
    larger.setPointSize(16);
    setFont(larger);
    m_hideTimer.setSingleShot(true);
    m_hideTimer.setInterval(shownMs);
    connect(&m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
}

void EndNotice::tell(const QString &text)
{
    setText(text);
    adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center().x() - width() / 2, area.top() + area.height() / 8);
    }
    show();
    raise();
    m_hideTimer.start();
}
