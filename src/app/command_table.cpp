#include "app/command_table.h"

#include "app/command_boundary.h"

void command_table::add(int id, const wxString& label, rule allowed, action run) {
    commands_[id] = {label, std::move(allowed), std::move(run)};
}

bool command_table::allowed(int id) const {
    const auto it = commands_.find(id);
    return it == commands_.end() || !it->second.allowed || it->second.allowed();
}

void command_table::run(int id) const {
    const auto it = commands_.find(id);
    if (it == commands_.end() || !it->second.run || !allowed(id)) return;
    run_guarded(it->second.run);
}

void command_table::append_items(wxMenu& menu, const std::vector<int>& ids) const {
    for (const int id : ids) {
        if (id == 0) {
            menu.AppendSeparator();
        } else if (const auto it = commands_.find(id); it != commands_.end()) {
            menu.Append(id, it->second.label);
        }
    }
}
