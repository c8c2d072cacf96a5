#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <memory>
#include <vector>

class QWindow;
struct xcb_connection_t;

// The lock's hold on the X display, straight through the connection Qt uses: the
// cover's window mapped and raised again, keyboard and pointer taken with the X
// server's answer to each, and the news that the window was unmapped or covered by
// another. Qt tells none of these reliably: it keeps a window unmapped by another
// program for shown, and its grabs keep their outcome to themselves.
class X11Hold : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    enum class Grab {
        Held,        // keyboard and pointer are the window's
        NotViewable, // the window is not on the screen (yet)
        Refused,     // another program holds one of them
    };

    // The hold where the program runs on an X display; none elsewhere.
    static std::unique_ptr<X11Hold> ofThisDisplay();
    ~X11Hold() override;

    // Reports unmapped() whenever the window is unmapped, obscured() whenever
    // anything comes above it.
    void watch(QWindow *window);
    // Maps and raises the window.
    void putOnTop(QWindow *window);
    // Takes keyboard and pointer for the window, waiting for the server's answers.
    Grab grab(QWindow *window);

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    void unmapped();
    void obscured();

private:
    explicit X11Hold(xcb_connection_t *connection);

    xcb_connection_t *m_connection;
    std::vector<quint32> m_watched;
};
