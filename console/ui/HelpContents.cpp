#include "HelpContents.h"

#include "MessageDialog.h"

#include <QWidget>

void showHelpContents(QWidget *mainWindow)
{
    MessageDialog::show(mainWindow,
                        {mainWindow->windowTitle(),
                         QStringLiteral("Hilfeinhalt konnte nicht angezeigt werden. "
                                        "Dieser Anwendung ist keine Hilfedatei zugeordnet."),
                         QMessageBox::Information});
}
