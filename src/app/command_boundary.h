// The one error boundary of the user-interface thread. Every command runs
// through it, from the menus, the tool bar, the popup menus, a dialog's
// buttons or a remote client: a standard exception the command throws
// becomes one red journal row with its text, and the station goes on as the
// command left it; no message box opens. Any other exception is not caught
// here: it reaches the application, which ends the program.
// User-interface thread only.
#pragma once

#include <functional>

// Runs `command`; false when it threw a standard exception.
bool run_guarded(const std::function<void()>& command);
