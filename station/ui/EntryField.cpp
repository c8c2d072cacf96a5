#include "EntryField.h"

#include <QApplication>
#include <QKeyEvent>

EntryField::EntryField(QChar separator, QWidget *parent)
    : QLineEdit(parent)
    , m_separator(separator)
{
}

void EntryField::keyPressEvent(QKeyEvent *event)
{
    if (accepts(event))
        QLineEdit::keyPressEvent(event);
    else
        event->accept(); // typed characters other than those above are dropped
}

void EntryField::keyReleaseEvent(QKeyEvent *event)
{
    QLineEdit::keyReleaseEvent(event);
    if (m_separator.isNull() || (text().size() != 2 && text().size() != 5))
        return;
    // Typed as a key of its own into whichever field has the focus, so that it
    // passes that field's filter like any other key.
    if (QWidget *focused = QApplication::focusWidget()) {
        QCoreApplication::postEvent(focused,
                                    new QKeyEvent(QEvent::KeyPress, m_separator.unicode(),
                                                  Qt::NoModifier, QString(m_separator)));
    }
}

void EntryField::mouseReleaseEvent(QMouseEvent *event)
{
    QLineEdit::mouseReleaseEvent(event);
    selectAll();
}

bool EntryField::accepts(const QKeyEvent *event) const
{
    // Keys that type nothing (arrows, Delete, Home, ...) keep their usual meaning.
    const QString typed = event->text();
    if (typed.isEmpty() || event->key() == Qt::Key_Backspace)
        return true;
    if (typed.size() != 1)
        return false;
    const QChar character = typed.front();
    return (character >= QLatin1Char('0') && character <= QLatin1Char('9'))
        || (!m_separator.isNull() && character == m_separator);
}
