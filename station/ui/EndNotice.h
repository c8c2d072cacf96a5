#pragma once

#include <QLabel>
#include <QTimer>

// A short notice at the top of the screen, above the other windows, for a few
// seconds. It never takes the focus: the customer goes on typing where he was.
class EndNotice : public QLabel
{
    Q_OBJECT

public:
    static constexpr int shownMs = 5000;

    EndNotice();

    // Shows the text for a few seconds, from now.
    void tell(const QString &text);

private:
    QTimer m_hideTimer;
};
