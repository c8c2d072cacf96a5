// Drops the warnings of the headless window system about what it cannot do
// ("This plugin does not support raise()"), which windows that raise themselves on
// every pass would otherwise repeat by the thousand. Every other message passes.
//
// QtTest puts its own message handler in place when the test run begins, after the
// application was made, so the filter goes in front of it from the event loop's
// first turn on.

#include <QCoreApplication>
#include <QTimer>

namespace {
QtMessageHandler nextHandler = nullptr;

void filterPlatformWarnings(QtMsgType type, const QMessageLogContext &context,
                            const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support ")))
        return;
    nextHandler(type, context, message);
}

void installFilterOnFirstTurn()
{
    QTimer::singleShot(0, QCoreApplication::instance(),
                       [] { nextHandler = qInstallMessageHandler(filterPlatformWarnings); });
}
}

Q_COREAPP_STARTUP_FUNCTION(installFilterOnFirstTurn)
