#include "ClassicFont.h"
#include "GermanQtTexts.h"
#include "MainWindow.h"
#include "MessageDialog.h"
#include "ProgramIcon.h"
#include "SingleInstance.h"

#include <QApplication>

#include <sys/stat.h>

namespace {
// Run from where the package installs it, the console keeps its files in a data
// directory of their own that its operators may write, so that none of them can
// change the programs; run from anywhere else, it keeps them beside itself.
QString filesDirectory()
{
    const QString programDirectory = QCoreApplication::applicationDirPath();
    if (programDirectory == QStringLiteral(KAVO_INSTALLED_PROGRAM_DIR))
        return QStringLiteral(KAVO_INSTALLED_DATA_DIR);
    return programDirectory;
}
}

int main(int argc, char *argv[])
{
    // Database, side file, journals, lock, settings and workbooks: for the operators
    // of group kavo, for nobody else.
    umask(S_IRWXO);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavo"));
    QApplication::setOrganizationName(QStringLiteral("Kavo"));
    ClassicFont::applyToApplication();
    ProgramIcon::applyToApplication();
    GermanQtTexts::install();

    MainWindow window(filesDirectory());
    SingleInstance instance;
    const Result<ConsoleApp::Started> started = window.start(instance);
    if (!started.hasValue()) {
        MessageDialog::show(
            nullptr, {QStringLiteral("Kavo"), started.failure().text(), QMessageBox::Critical});
        return 1;
    }
    if (started.value() == ConsoleApp::Started::AlreadyRunning)
        return 0;
    window.show();
    return app.exec();
}
