#include "AboutDialog.h"
#include "HelpContents.h"
#include "ProgramIcon.h"
#include "SystemInfoLauncher.h"
#include "TestSupport.h"

#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

namespace {

const QString unavailable = QStringLiteral(u"Systeminformationsprogramm zur Zeit nicht verfügbar.");

// Answers the PATH lookup from a fixed table for the lifetime of the guard.
class FakePath
{
public:
    explicit FakePath(QHash<QString, QString> programs)
    {
        SystemInfoLauncher::setProgramFinder(
            [programs](const QString &name) { return programs.value(name); });
    }
    ~FakePath() { SystemInfoLauncher::setProgramFinder({}); }
    FakePath(const FakePath &) = delete;
    FakePath &operator=(const FakePath &) = delete;
};

QString labelText(const AboutDialog &dialog, const QString &name)
{
    const auto *label = dialog.findChild<QLabel *>(name);
    return label ? label->text() : QStringLiteral("<missing %1>").arg(name);
}

// Runs the dialog modally and presses `key` once it shows; true when that closed it.
bool keyClosesDialog(Qt::Key key)
{
    AboutDialog dialog(nullptr);
    QTimer::singleShot(0, &dialog, [&dialog, key] { QTest::keyClick(&dialog, key); });
    QTimer::singleShot(1000, &dialog, [&dialog] { dialog.done(-1); });
    return dialog.exec() != -1;
}

}

class AboutTest : public QObject
{
    Q_OBJECT

private slots:
    void labelsAndButtons()
    {
        AboutDialog dialog(nullptr);
        QCOMPARE(dialog.objectName(), QStringLiteral("frmAbout"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Info Projekt1"));
        QCOMPARE(labelText(dialog, QStringLiteral("lblTitle")), QStringLiteral("Kavo - Tessaro"));
        const QFont titleFont = dialog.findChild<QLabel *>(QStringLiteral("lblTitle"))->font();
        QVERIFY(titleFont.bold());
        QCOMPARE(titleFont.pointSize(), 12);
        QCOMPARE(labelText(dialog, QStringLiteral("lblVersion")), QStringLiteral("Version 1.2.0"));
        QCOMPARE(labelText(dialog, QStringLiteral("lblDescription")),
                 QStringLiteral(
                     u"Diese kleine Programm soll bei der Zeitverwaltung in Internetcafés sorgen. "
                     u"Momentan unterstützt es zwei Clients, kann aber ohne weiteres erweitert "
                     u"werden."));
        QCOMPARE(labelText(dialog, QStringLiteral("lblDisclaimer")),
                 QStringLiteral(u"Bei Änderungswünschen einfach den Author fragen..."));
        QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("picIcon")));

        const auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("cmdOK"));
        QVERIFY(ok && ok->isDefault());
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("cmdSysInfo"))->text(),
                 QStringLiteral("&System-Info..."));
    }

    // The icon is drawn from its SVG resource, which needs the SVG icon engine at run
    // time: an empty picture means the resource or the engine is missing.
    void theProgramIconIsDrawn()
    {
        const QImage icon = ProgramIcon::icon().pixmap(32, 32).toImage();
        QCOMPARE(icon.size(), QSize(32, 32));
        QVERIFY(icon.pixelColor(16, 16).alpha() > 0); // the clock face
        QCOMPARE(icon.pixelColor(0, 31).alpha(), 0);  // beside the stand

        AboutDialog dialog(nullptr);
        const QPixmap shown = dialog.findChild<QLabel *>(QStringLiteral("picIcon"))->pixmap();
        QCOMPARE(shown.toImage().convertToFormat(icon.format()), icon);
        QVERIFY(!dialog.windowIcon().isNull());
    }

    void okEnterAndEscapeCloseTheBox()
    {
        QVERIFY(keyClosesDialog(Qt::Key_Return));
        QVERIFY(keyClosesDialog(Qt::Key_Escape));

        AboutDialog dialog(nullptr);
        dialog.show();
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
    }

    void withoutToolTheOperatorIsTold()
    {
        MessageRecorder messages;
        FakePath path({});
        AboutDialog dialog(nullptr);
        dialog.show();
        QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("cmdSysInfo")),
                          Qt::LeftButton);
        QCOMPARE(messages.texts(), QStringList{unavailable});
        QCOMPARE(messages.shown().first().title, QStringLiteral("Kavo"));
        QCOMPARE(messages.shown().first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(dialog.isVisible());
    }

    void toolThatCannotStartCountsAsMissing()
    {
        MessageRecorder messages;
        FakePath path({{QStringLiteral("hardinfo"), QStringLiteral("/nonexistent/hardinfo")}});
        SystemInfoLauncher::StartSysInfo(nullptr);
        QCOMPARE(messages.texts(), QStringList{unavailable});
    }

    void installedToolStartsSilently()
    {
        const QString harmless = QStandardPaths::findExecutable(QStringLiteral("true"));
        QVERIFY(!harmless.isEmpty());
        MessageRecorder messages;
        FakePath path({{QStringLiteral("kinfocenter"), harmless}});
        SystemInfoLauncher::StartSysInfo(nullptr);
        QVERIFY(messages.shown().isEmpty());
    }

    void helpContentsSaysThereIsNoHelpFile()
    {
        MessageRecorder messages;
        QWidget mainWindow;
        mainWindow.setWindowTitle(QStringLiteral("Internetcafé Sonnenschein"));
        showHelpContents(&mainWindow);
        QCOMPARE(messages.shown().size(), 1);
        const MessageDialog::Request &shown = messages.shown().first();
        QCOMPARE(shown.text,
                 QStringLiteral("Hilfeinhalt konnte nicht angezeigt werden. "
                                "Dieser Anwendung ist keine Hilfedatei zugeordnet."));
        QCOMPARE(shown.title, QStringLiteral(u"Internetcafé Sonnenschein"));
        QCOMPARE(shown.icon, QMessageBox::Information);
        QCOMPARE(shown.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
};

QTEST_MAIN(AboutTest)
#include "tst_about.moc"
