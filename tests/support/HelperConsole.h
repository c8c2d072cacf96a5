#pragma once

#include "MainWindow.h"
#include "SingleInstance.h"

#include <memory>

// The console window of a helper program that a test starts as a process of its own:
// its program directory and settings folder are the helper's first two arguments,
// and its stations listen on ports of the system's choosing.
class HelperConsole
{
public:
    HelperConsole(const char *programDir, const char *settingsDir, const QString &name);

    // Runs the start-up; false, with the reason on standard error, when it fails.
    [[nodiscard]] bool start();
    MainWindow &window() { return *m_window; }

private:
    SingleInstance m_instance;
    std::unique_ptr<MainWindow> m_window;
};
