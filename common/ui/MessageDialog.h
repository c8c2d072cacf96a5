#pragma once

#include <QMap>
#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// Every message box of both programs goes through here, so that tests can answer
// them without a person at the screen.
namespace MessageDialog {

struct Request
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    // Captions of their own for some of the buttons ("Jetzt abrechnen" for Yes).
    QMap<QMessageBox::StandardButton, QString> captions = {};
};

using Handler = std::function<QMessageBox::StandardButton(const Request &)>;

// Shows the box modally and returns the button pressed.
QMessageBox::StandardButton show(QWidget *parent, const Request &request);

// Replaces the real box; an empty handler restores it.
void setHandler(Handler handler);

}
