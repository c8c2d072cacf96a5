#include "ClassicFont.h"

#include <QApplication>
#include <QFont>

namespace ClassicFont {

void applyToApplication()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPointSize(8);
    QApplication::setFont(font);
}

}
