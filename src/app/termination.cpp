#include "app/termination.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>

#include <algorithm>
#include <csignal>

namespace {

volatile std::sig_atomic_t g_terminate = 0;
constexpr int kPollMs = 200;

}  // namespace

termination::termination() {
    std::signal(SIGTERM, [](int) { g_terminate = 1; });
    Register();
    poll_.SetOwner(this);
    Bind(wxEVT_TIMER, &termination::on_timer, this);
    poll_.Start(kPollMs);
}

termination::~termination() {
    poll_.Stop();
    std::signal(SIGTERM, SIG_DFL);
}

int termination::Enter(wxDialog* dialog) {
    open_.push_back(dialog);
    return wxID_NONE;  // show it
}

void termination::Exit(wxDialog* dialog) {
    open_.erase(std::remove(open_.begin(), open_.end(), dialog), open_.end());
}

void termination::on_timer(wxTimerEvent&) {
    if (!g_terminate) return;
    if (!open_.empty()) {
        // Innermost first; each loop returns to its caller as after "Cancel",
        // and the window is closed on a later tick, in the main loop.
        for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
            if ((*it)->IsModal()) (*it)->EndModal(wxID_CANCEL);
        }
        return;
    }
    g_terminate = 0;
    if (wxWindow* window = wxTheApp ? wxTheApp->GetTopWindow() : nullptr) window->Close(true);
}

int message_box(const wxString& text, const wxString& caption, long style, wxWindow* parent) {
    wxGenericMessageDialog dialog(parent, text, caption, style);
    return dialog.ShowModal();
}
