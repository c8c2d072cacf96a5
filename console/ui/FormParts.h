#pragma once

#include <QString>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The controls the console's dialogs are made of, named as the operator's
// documentation names them.
namespace FormParts {
QPushButton *button(QWidget *parent, const char *name, const QString &caption);
// A field whose text is not shown.
QLineEdit *pinField(QWidget *parent, const char *name);
// The line below a form that tells why a step was refused: lblMeldung.
QLabel *messageLine(QWidget *parent);
// The button of a dialog's button row that accepts it.
QPushButton *acceptButton(QDialogButtonBox *buttons, const char *name, const QString &caption);
}
