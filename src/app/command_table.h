// The window's commands by identifier: each with its menu text, the rule
// that says when it may run, and what it does. The one rule of a command
// serves both its enabled state in the menus and the tool bar and the check
// when it runs: a menu's state may be stale, and a remote command can change
// the station's state while a dialog is open, so a command that shows a
// dialog asks allowed() again once it has closed.
//
// Every command runs inside the error boundary (run_guarded). A command
// whose rule does not hold does nothing and reports nothing. Menus are built
// from the table, so a command's text lives here once.
// User-interface thread only.
#pragma once

#include <wx/menu.h>
#include <wx/string.h>

#include <functional>
#include <map>
#include <vector>

class command_table {
  public:
    using rule = std::function<bool()>;
    using action = std::function<void()>;

    // Registers a command; an empty rule allows it always.
    void add(int id, const wxString& label, rule allowed, action run);
    bool has(int id) const { return commands_.count(id) != 0; }

    // True when the command's rule holds now; true for an unknown id.
    bool allowed(int id) const;
    // Runs the command if its rule holds, inside the error boundary.
    void run(int id) const;

    // Appends the items of `ids` to `menu` in order; 0 stands for a separator.
    void append_items(wxMenu& menu, const std::vector<int>& ids) const;

  private:
    struct command {
        wxString label;
        rule allowed;
        action run;
    };
    std::map<int, command> commands_;
};
