#include "MessageDialog.h"

#include <QAbstractButton>

namespace MessageDialog {
namespace {
Handler &installedHandler()
{
    static Handler handler;
    return handler;
}
}

QMessageBox::StandardButton show(QWidget *parent, const Request &request)
{
    if (const Handler &handler = installedHandler())
        return handler(request);
    QMessageBox box(request.icon, request.title, request.text, request.buttons, parent);
    for (auto caption = request.captions.cbegin(); caption != request.captions.cend(); ++caption) {
        if (QAbstractButton *button = box.button(caption.key()))
            button->setText(caption.value());
    }
    return QMessageBox::StandardButton(box.exec());
}

void setHandler(Handler handler)
{
    installedHandler() = std::move(handler);
}

}
