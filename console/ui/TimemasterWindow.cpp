#include "TimemasterWindow.h"

#include "DaytimeRequest.h"
#include "MessageDialog.h"

#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

TimemasterWindow *TimemasterWindow::showOrRaise(QWidget *parent)
{
    static QPointer<TimemasterWindow> openWindow;
    if (!openWindow)
        openWindow = new TimemasterWindow(parent);
    openWindow->show();
    openWindow->raise();
    openWindow->activateWindow();
    return openWindow;
}

TimemasterWindow::TimemasterWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmTimemaster"));
    setWindowTitle(QStringLiteral("Timemaster"));

    auto *button = new QPushButton(QStringLiteral("Sytemzeit aktuallisieren"), this);
    button->setObjectName(QStringLiteral("Command1"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(button);
    setMinimumWidth(240);

    auto *request = new DaytimeRequest(this);
    connect(button, &QPushButton::clicked, request, &DaytimeRequest::start);
    connect(request, &DaytimeRequest::finished, this, &QWidget::close);
    connect(request, &DaytimeRequest::failed, this, &TimemasterWindow::reportFailure);
    request->start();
}

void TimemasterWindow::reportFailure()
{
    MessageDialog::show(this, {DaytimeRequest::failureTitle(), DaytimeRequest::failureText()});
    close();
}
