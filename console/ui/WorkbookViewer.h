#pragma once

#include <QStringList>

class QWidget;

// Opens a workbook the operator picked with the desktop's program for Excel files.
namespace WorkbookViewer {

// Whether one of the desktop entries under the application folders given offers to
// open Excel files.
bool programInstalled(const QStringList &applicationFolders);

// Opens the workbook, or tells the operator in German what to install when this PC
// has no program for it.
void open(const QString &path, QWidget *parent);

}
