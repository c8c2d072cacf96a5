#include "ProgramIcon.h"

#include <QApplication>

// The resource lives in a static library, so it is registered by hand; the macro
// must be used outside any namespace.
static void registerResource()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace ProgramIcon {

QIcon icon()
{
    registerResource();
    return QIcon(QStringLiteral(":/icons/kavo.svg"));
}

void applyToApplication()
{
    QApplication::setWindowIcon(icon());
}

}
