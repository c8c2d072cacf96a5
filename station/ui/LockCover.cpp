#include "LockCover.h"

#include "OpenWindowGuard.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

LockCover::LockCover(const Texts &texts, QScreen *screen, bool holdsInput, X11Hold *hold)
    : QWidget(nullptr,
              Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                  | Qt::X11BypassWindowManagerHint)
    , m_holdsInput(holdsInput)
    , m_hold(hold)
{
    setObjectName(QStringLiteral("Sperre"));
    setWindowTitle(texts.station + QStringLiteral(" - Sperre"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    new OpenWindowGuard(this, [this] { (void)holdScreen(); });
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(0x20, 0x2a, 0x38));
    colours.setColor(QPalette::WindowText, Qt::white);
    setPalette(colours);

    auto *layout = new QVBoxLayout(this);
    layout->addStretch(3);
    if (!texts.company.isEmpty())
        layout->addWidget(addLabel(texts.company, "lblFirma", 28));
    layout->addWidget(addLabel(texts.lock, "lblSperre", 22));
    layout->addWidget(addLabel(texts.station, "lblStation", 16));
    m_linkState = addLabel({}, "lblVerbindung", 12);
    layout->addWidget(m_linkState);
    m_connectButton = new QPushButton(QStringLiteral("Verbinden"), this);
    m_connectButton->setObjectName(QStringLiteral("cmdVerbindenSperre"));
    m_connectButton->setFocusPolicy(Qt::NoFocus);
    m_connectButton->setMinimumSize(180, 36);
    connect(m_connectButton, &QPushButton::clicked, this, &LockCover::connectRequested);
    layout->addSpacing(12);
    layout->addWidget(m_connectButton, 0, Qt::AlignHCenter);
    layout->addStretch(4);
    setConnected(false);

    setScreen(screen);
    setGeometry(screen->geometry());
    if (m_hold) {
        winId(); // the native window, made now so that it is watched from its first map on
        m_hold->watch(windowHandle());
    }
}

QLabel *LockCover::addLabel(const QString &text, const char *name, int pointSize)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSize(pointSize);
    label->setFont(font);
    return label;
}

void LockCover::setConnected(bool connected)
{
    const QString notConnected
        = m_linkProblem.isEmpty() ? QStringLiteral("keine Verbindung") : m_linkProblem;
    m_linkState->setText(connected ? QStringLiteral("verbunden") : notConnected);
    m_connectButton->setEnabled(!connected);
}

void LockCover::setLinkProblem(const QString &text)
{
    m_linkProblem = text;
    setConnected(!m_connectButton->isEnabled());
}

X11Hold::Grab LockCover::holdScreen()
{
    if (!isVisible())
        show();
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    const QRect area = screen()->geometry();
    if (geometry() != area)
        setGeometry(area);
    QWindow *window = windowHandle();
    if (m_hold)
        m_hold->putOnTop(window);
    else
        raise();
    if (!m_holdsInput)
        return X11Hold::Grab::Held;
    // Taken at the window itself: the widget's grab would let go first and take
    // them anew, leaving a gap each time.
    window->requestActivate();
    if (m_hold)
        return m_hold->grab(window);
    window->setKeyboardGrabEnabled(true);
    window->setMouseGrabEnabled(true);
    return X11Hold::Grab::Held;
}

// The widget's grabs send keys and clicks to the cover itself, wherever they land.
void LockCover::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_holdsInput) {
        grabKeyboard();
        grabMouse();
    }
}

void LockCover::hideEvent(QHideEvent *event)
{
    if (m_holdsInput) {
        releaseKeyboard();
        releaseMouse();
    }
    QWidget::hideEvent(event);
}

void LockCover::keyPressEvent(QKeyEvent *event)
{
    event->accept();
}

void LockCover::keyReleaseEvent(QKeyEvent *event)
{
    event->accept();
}

void LockCover::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

// With the mouse held, every click comes here, wherever it lands; only one on the
// button does anything.
void LockCover::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    const QPoint at = m_connectButton->mapFrom(this, event->position().toPoint());
    if (event->button() == Qt::LeftButton && m_connectButton->isEnabled()
        && m_connectButton->rect().contains(at))
        m_connectButton->click();
}
