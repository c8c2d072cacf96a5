#include "ClassicFont.h"
#include "GermanQtTexts.h"
#include "ProgramIcon.h"
#include "StationNumber.h"
#include "StationWindow.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ClassicFont::applyToApplication();
    ProgramIcon::applyToApplication();
    GermanQtTexts::install();

    // The name it was started by, not the file a link leads to: a link named
    // Client7 runs station 7. Client.ini lies beside the program file itself.
    const QString programName = QFileInfo(QCoreApplication::arguments().value(0)).fileName();
    const QString programDirectory = QCoreApplication::applicationDirPath();
    StationWindow window(StationNumber::find(programDirectory, programName), programDirectory);
    window.show();
    return app.exec();
}
