#pragma once

#include <functional>

// Ending a program at once, without the main window's unload steps. Tests replace
// the action so that "the console ends" can be observed without ending the test.
namespace ProgramEnd {

void now(int exitCode = 0);

using Action = std::function<void(int exitCode)>;
void setAction(Action action);

}
