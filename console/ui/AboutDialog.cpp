#include "AboutDialog.h"

#include "FormParts.h"
#include "ProgramIcon.h"
#include "SystemInfoLauncher.h"
#include "Version.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

QLabel *label(const QString &name, const QString &text, QWidget *parent)
{
    auto *result = new QLabel(text, parent);
    result->setObjectName(name);
    return result;
}

}

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Info Projekt1"));
    setWindowIcon(ProgramIcon::icon());

    auto *icon = label(QStringLiteral("picIcon"), QString(), this);
    icon->setPixmap(ProgramIcon::icon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto *title = label(QStringLiteral("lblTitle"), QStringLiteral("Kavo - Tessaro"), this);
    QFont titleFont = title->font();
    titleFont.setPointSize(12);
    titleFont.setBold(true);
    title->setFont(titleFont);

    auto *version = label(QStringLiteral("lblVersion"),
                          QStringLiteral("Version %1.%2.%3")
                              .arg(Version::major)
                              .arg(Version::minor)
                              .arg(Version::revision),
                          this);
    auto *description = label(
        QStringLiteral("lblDescription"),
        QStringLiteral(u"Diese kleine Programm soll bei der Zeitverwaltung in Internetcafés "
                       u"sorgen. Momentan unterstützt es zwei Clients, kann aber ohne weiteres "
                       u"erweitert werden."),
        this);
    description->setWordWrap(true);
    auto *disclaimer
        = label(QStringLiteral("lblDisclaimer"),
                QStringLiteral(u"Bei Änderungswünschen einfach den Author fragen..."), this);
    disclaimer->setWordWrap(true);

    auto *separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);

    QPushButton *ok = FormParts::button(this, "cmdOK", QStringLiteral("OK"));
    ok->setDefault(true);
    QPushButton *sysInfo = FormParts::button(this, "cmdSysInfo", QStringLiteral("&System-Info..."));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(sysInfo, &QPushButton::clicked, this,
            [this] { SystemInfoLauncher::StartSysInfo(this); });

    auto *layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 3, 1);
    layout->addWidget(title, 0, 1, 1, 2);
    layout->addWidget(version, 1, 1, 1, 2);
    layout->addWidget(description, 2, 1, 1, 2);
    layout->addWidget(separator, 3, 0, 1, 3);
    layout->addWidget(disclaimer, 4, 0, 2, 2, Qt::AlignTop);
    layout->addWidget(ok, 4, 2);
    layout->addWidget(sysInfo, 5, 2);
    layout->setColumnStretch(1, 1);
    setFixedWidth(420);
}
