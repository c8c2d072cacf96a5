#include "ClosingWindow.h"

#include "Clock.h"
#include "ClosingReport.h"
#include "FormParts.h"
#include "MessageDialog.h"
#include "ReopenDialog.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

ClosingWindow *ClosingWindow::showOrRaise(const ClosingDesk &desk, const QString &cafeName,
                                          QWidget *parent)
{
    static QPointer<ClosingWindow> openWindow;
    if (!openWindow)
        openWindow = new ClosingWindow(desk, cafeName, parent);
    else
        openWindow->refresh();
    openWindow->show();
    openWindow->raise();
    openWindow->activateWindow();
    return openWindow;
}

ClosingWindow::ClosingWindow(ClosingDesk desk, QString cafeName, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_desk(std::move(desk))
    , m_cafeName(std::move(cafeName))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmTagesabschluss"));
    setWindowTitle(QStringLiteral("Tagesabschluss"));
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("cmbArt"));
    m_kind->addItems({QStringLiteral("Tag"), QStringLiteral("Schicht")});
    m_day = new QDateEdit(Clock::current().now().date(), this);
    m_day->setObjectName(QStringLiteral("dtTag"));
    m_day->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_day->setCalendarPopup(true);
    auto *update = FormParts::button(this, "cmdAktualisieren", QStringLiteral("Aktualisieren"));
    m_close = FormParts::button(this, "cmdAbschliessen", QStringLiteral("Abschließen"));
    m_print = FormParts::button(this, "cmdDrucken", QStringLiteral("Drucken…"));
    m_reopen = FormParts::button(this, "cmdWiederOeffnen", QStringLiteral("Wieder öffnen…"));
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("lblHinweis"));
    m_notice->setWordWrap(true);
    m_notice->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    m_view = new QTextBrowser(this);
    m_view->setObjectName(QStringLiteral("txtBericht"));
    m_view->setMinimumSize(560, 520);

    auto *choices = new QHBoxLayout();
    choices->addWidget(m_kind);
    choices->addWidget(m_day);
    choices->addWidget(update);
    choices->addStretch();
    choices->addWidget(m_close);
    choices->addWidget(m_reopen);
    choices->addWidget(m_print);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addWidget(m_notice);
    layout->addWidget(m_view, 1);

    connect(m_kind, &QComboBox::currentIndexChanged, this, &ClosingWindow::refresh);
    connect(m_day, &QDateEdit::dateChanged, this, &ClosingWindow::refresh);
    connect(update, &QPushButton::clicked, this, &ClosingWindow::refresh);
    connect(m_close, &QPushButton::clicked, this, &ClosingWindow::closeShown);
    connect(m_print, &QPushButton::clicked, this, &ClosingWindow::print);
    connect(m_reopen, &QPushButton::clicked, this, &ClosingWindow::reopenShown);
    refresh();
}

ClosingWindow::~ClosingWindow() = default;

bool ClosingWindow::shiftChosen() const
{
    return m_kind->currentIndex() == 1;
}

void ClosingWindow::refresh()
{
    m_day->setEnabled(!shiftChosen());
    m_close->setText(shiftChosen() ? QStringLiteral("Schicht abschließen")
                                   : QStringLiteral("Abschließen"));
    showClosing(shiftChosen() ? m_desk.shift() : m_desk.day(m_day->date()));
}

void ClosingWindow::showClosing(const Result<Closing> &closing)
{
    m_close->setEnabled(closing.hasValue() && m_desk.mayClose(closing.value()));
    m_print->setEnabled(closing.hasValue());
    m_reopen->setVisible(!shiftChosen());
    m_reopen->setEnabled(closing.hasValue() && closing->isSaved());
    if (!closing.hasValue()) {
        m_notice->setText(closing.failure().text());
        m_report.reset();
        m_view->clear();
        return;
    }
    m_notice->setText(
        QStringList{ClosingReport::reopeningNotice(closing.value()), closing->changeNotice()}
            .join(QLatin1Char('\n'))
            .trimmed());
    m_report = ClosingReport::document(closing.value(), m_cafeName, Clock::current().now());
    m_view->setHtml(m_report->toHtml());
}

// Closes what is shown; a closed shift shows the next one, begun empty.
void ClosingWindow::closeShown()
{
    const Result<Closing> closed
        = shiftChosen() ? m_desk.closeShift() : m_desk.closeDay(m_day->date());
    if (!closed.hasValue()) {
        MessageDialog::show(
            this, {QStringLiteral("Kavo"), closed.failure().text(), QMessageBox::Warning});
        return;
    }
    refresh();
}

void ClosingWindow::reopenShown()
{
    ReopenDialog dialog(m_desk, m_day->date(), this);
    if (dialog.exec() == QDialog::Accepted)
        refresh();
}

void ClosingWindow::print()
{
    if (!m_report)
        return;
    QPrinter printer;
    printer.setDocName(windowTitle());
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        ClosingReport::print(*m_report, printer);
}
