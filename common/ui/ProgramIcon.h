#pragma once

#include <QIcon>

// The programs' own icon, a clock on a screen, shared by the console and the stations.
namespace ProgramIcon {

QIcon icon();

// Makes it the icon of every window of the program.
void applyToApplication();

}
