#pragma once

class QWidget;

// The help menu's "&Inhalt": the program comes without a help file, so it says so,
// titled with the main window's current caption.
void showHelpContents(QWidget *mainWindow);
