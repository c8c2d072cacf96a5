#include "FormParts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace FormParts {
QPushButton *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

QLineEdit *pinField(QWidget *parent, const char *name)
{
    auto *field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setEchoMode(QLineEdit::Password);
    return field;
}

QLabel *messageLine(QWidget *parent)
{
    auto *line = new QLabel(parent);
    line->setObjectName(QStringLiteral("lblMeldung"));
    line->setWordWrap(true);
    return line;
}

QPushButton *acceptButton(QDialogButtonBox *buttons, const char *name, const QString &caption)
{
    QPushButton *button = buttons->addButton(caption, QDialogButtonBox::AcceptRole);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}
}
