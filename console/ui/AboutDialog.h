#pragma once

#include <QDialog>

// "Info Projekt1": the program's title, version and purpose, and a way to the
// desktop's system information tool. Meant to be shown modally with exec().
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent);
};
