#pragma once

#include <QString>

#include <functional>

class QWidget;

// Starting the desktop's system information tool from the About box.
namespace SystemInfoLauncher {

// Starts the first installed tool of a fixed list without waiting for it; tells the
// operator when none is installed or it cannot be started.
void StartSysInfo(QWidget *parent);

// Finds a program by name on PATH, giving its full path or the empty text.
// Replaceable for tests; an empty finder restores the PATH lookup.
using ProgramFinder = std::function<QString(const QString &name)>;
void setProgramFinder(ProgramFinder finder);

}
