#include "ClassicFont.h"
#include "GermanQtTexts.h"
#include "MessageDialog.h"
#include "ProgramIcon.h"
#include "StationNumber.h"
#include "StationSettings.h"
#include "StationWindow.h"
#include "TerminationSignal.h"

#include <QApplication>
#include <QDebug>
#include <QFileInfo>

namespace {

// Under Wayland every program's windows stay its own: no cover lies above them and
// no grab keeps the keyboard from them, so the lock would only seem to hold.
bool runsUnderWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"))
        || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}

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
    if (StationSettings::read(programDirectory).lockActive() && runsUnderWayland()) {
        const QString text = QStringLiteral(
            "Die Sperre kann eine Wayland-Sitzung nicht abdecken. Bitte für den Kunden eine "
            "X11-Sitzung einrichten (siehe Bedienungsanleitung, „Kunden-PC sperren“).");
        qCritical().noquote() << text;
        MessageDialog::show(nullptr,
                            {QStringLiteral("Sperre nicht möglich"), text, QMessageBox::Critical});
        return 1;
    }
    StationWindow window(StationNumber::find(programDirectory, programName), programDirectory);
    window.show();
    // Stopped by the system, the station takes the customer's session with it.
    TerminationSignal termination;
    QObject::connect(&termination, &TerminationSignal::received, &app, [&window] {
        window.display().shutDown();
        QCoreApplication::exit(0); // quit() would ask the windows, which refuse to close
    });
    return app.exec();
}
