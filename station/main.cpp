#include "ClassicFont.h"
#include "GermanQtTexts.h"
#include "ProgramIcon.h"
#include "StationWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ClassicFont::applyToApplication();
    ProgramIcon::applyToApplication();
    GermanQtTexts::install();

    StationWindow window(KAVO_STATION_NUMBER, QCoreApplication::applicationDirPath());
    window.show();
    return app.exec();
}
