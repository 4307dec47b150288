#include "app/command_boundary.h"

#include "runtime/journal.h"

#include <exception>
#include <string>

bool run_guarded(const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        log_error(std::string(e.what()));
        return false;
    }
}
