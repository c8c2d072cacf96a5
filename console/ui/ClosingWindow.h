#pragma once

#include "ClosingDesk.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTextBrowser;
class QTextDocument;

// frmTagesabschluss: the closing of a chosen day or of the shift on duty, shown as
// the report that "Drucken" prints; "Abschließen" saves it.
class ClosingWindow : public QWidget
{
    Q_OBJECT

public:
    static ClosingWindow *showOrRaise(const ClosingDesk &desk, const QString &cafeName,
                                      QWidget *parent);

    ClosingWindow(ClosingDesk desk, QString cafeName, QWidget *parent = nullptr);
    ~ClosingWindow() override;

    // The report as now shown; what "Drucken" prints.
    const QTextDocument *report() const { return m_report.get(); }

public slots:
    void refresh();
    void closeShown();
    // Asks the owner's PIN and the reason, and opens the day's closing again.
    void reopenShown();

private:
    bool shiftChosen() const;
    void showClosing(const Result<Closing> &closing);
    void print();

    ClosingDesk m_desk;
    QString m_cafeName;
    QComboBox *m_kind;
    QDateEdit *m_day;
    QLabel *m_notice;
    QTextBrowser *m_view;
    QPushButton *m_close;
    QPushButton *m_print;
    QPushButton *m_reopen;
    std::unique_ptr<QTextDocument> m_report;
};
