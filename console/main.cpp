#include "ClassicFont.h"
#include "GermanQtTexts.h"
#include "MainWindow.h"
#include "MessageDialog.h"
#include "ProgramIcon.h"
#include "SingleInstance.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavo"));
    QApplication::setOrganizationName(QStringLiteral("Kavo"));
    ClassicFont::applyToApplication();
    ProgramIcon::applyToApplication();
    GermanQtTexts::install();

    MainWindow window(QCoreApplication::applicationDirPath());
    SingleInstance instance;
    QString error;
    switch (window.start(instance, &error)) {
    case MainWindow::StartOutcome::AlreadyRunning:
        return 0;
    case MainWindow::StartOutcome::Failed:
        MessageDialog::show(nullptr, {QStringLiteral("Kavo"), error, QMessageBox::Critical});
        return 1;
    case MainWindow::StartOutcome::Running:
        break;
    }
    window.show();
    return app.exec();
}
