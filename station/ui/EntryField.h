#pragma once

#include <QLineEdit>

// A text field for a date, a time of day or a number of minutes. It takes only the
// digits, Backspace and, where it has one, its separator; a click selects the whole
// text; and when a released key leaves 2 or 5 characters, the separator is typed
// for the user (12.05.2004, 14:05:09).
class EntryField : public QLineEdit
{
    Q_OBJECT

public:
    // A null separator: digits only, nothing typed by itself.
    explicit EntryField(QChar separator, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool accepts(const QKeyEvent *event) const;

    QChar m_separator;
};
