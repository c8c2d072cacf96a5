#pragma once

#include "X11Hold.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QScreen;

// The lock's cover over one screen: a window of its own above all others, without
// frame, that cannot be closed, minimised or moved. It shows the lock's text, the
// station, the café's name where known, the state of the link and "Verbinden".
// The cover that holds the input takes keyboard and mouse for as long as it is
// shown, so that nothing below it can be used; what it is given does nothing but a
// click on "Verbinden". The lock's guard has it take the screen over again whenever
// another window or program got above it, unmapped it or took the input.
class LockCover : public QWidget
{
    Q_OBJECT

public:
    struct Texts
    {
        QString lock;
        QString station; // "Station 1"
        QString company; // empty where not known
    };

    // `hold` reaches the X display where the program runs on one; null elsewhere,
    // where Qt's own means serve.
    LockCover(const Texts &texts, QScreen *screen, bool holdsInput, X11Hold *hold);

    bool holdsInput() const { return m_holdsInput; }
    void setConnected(bool connected);
    // Why the link cannot come up, shown in place of "keine Verbindung"; empty: none.
    void setLinkProblem(const QString &text);
    // Takes the screen over again: shown, on top, with keyboard and mouse where it
    // holds them; how the grab went (held, where it holds none).
    X11Hold::Grab holdScreen();

signals:
    void connectRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QLabel *addLabel(const QString &text, const char *name, int pointSize);

    const bool m_holdsInput;
    X11Hold *const m_hold;
    QLabel *m_linkState = nullptr;
    QString m_linkProblem;
    QPushButton *m_connectButton = nullptr;
};
