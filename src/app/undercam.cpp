#include "app/undercam.h"

#include "runtime/text_encoding.h"
#include "app/undercam_frame.h"

#include <wx/msgdlg.h>
#include <wx/uilocale.h>

#include <csignal>
#include <exception>

wxIMPLEMENT_APP_NO_MAIN(undercam);

namespace {
volatile std::sig_atomic_t g_terminate = 0;
constexpr int kTerminatePollMs = 200;
}  // namespace

bool undercam::OnInit() {
    checker_ = std::make_unique<wxSingleInstanceChecker>();
    if (checker_->IsAnotherRunning()) {
        wxMessageBox("Another program instance is already running, aborting.", "Error",
                     wxOK | wxICON_ERROR);
        return false;
    }
    // The C library's locale follows the user's setting: the journal file and
    // the narrow texts use its multibyte encoding.
    wxUILocale::UseDefault();
    wxHandleFatalExceptions(false);
#if wxCHECK_VERSION(3, 3, 0)
    SetAppearance(Appearance::System);
#endif
    // A system shutdown (SIGTERM) closes the window as the operator would, so
    // the recording and the journal end in order. The signal only raises a
    // flag; the event loop looks at it.
    std::signal(SIGTERM, [](int) { g_terminate = 1; });
    terminate_poll_.SetOwner(this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
        if (!g_terminate) return;
        g_terminate = 0;
        if (wxWindow* window = GetTopWindow()) window->Close(true);
    });
    terminate_poll_.Start(kTerminatePollMs);
    try {
        frame_ = new undercam_frame();
        frame_->Show(true);
        return true;
    } catch (const std::exception& e) {
        wxMessageBox(from_narrow(e.what()), "C++ exception", wxOK | wxICON_ERROR);
    } catch (...) {
        wxMessageBox("Unknown exception. Application will be closed", "Fatal error",
                     wxOK | wxICON_ERROR);
    }
    // A station without its window cannot work: main() ends with a failure status.
    return false;
}

int undercam::OnExit() {
    return 0;
}

bool undercam::OnExceptionInMainLoop() {
    try {
        throw;
    } catch (const std::exception& e) {
        wxMessageBox(from_narrow(e.what()), "C++ exception", wxOK | wxICON_ERROR);
        return true;
    } catch (...) {
        wxMessageBox(L"Программа будет завершена.", L"Неизвестное исключение.",
                     wxOK | wxICON_ERROR);
        return false;
    }
}

void undercam::OnUnhandledException() {
    wxMessageBox("Unhandled exception", "Error");
}

int main(int argc, char** argv) {
    // A start-up that returned false (second instance, failed window) ends with status 1.
    const int status = wxEntry(argc, argv);
    return status < 0 ? 1 : status;
}
