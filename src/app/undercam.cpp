#include "app/undercam.h"

#include "runtime/text_encoding.h"
#include "app/termination.h"
#include "app/undercam_frame.h"

#include <wx/uilocale.h>

#include <exception>

wxIMPLEMENT_APP_NO_MAIN(undercam);

bool undercam::OnInit() {
    checker_ = std::make_unique<wxSingleInstanceChecker>();
    if (checker_->IsAnotherRunning()) {
        message_box("Another program instance is already running, aborting.", "Error",
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
    // A system shutdown closes the window as "Выход" does, whatever is open,
    // so the recording and the journal end in order.
    termination_ = std::make_unique<termination>();
    try {
        frame_ = new undercam_frame();
        frame_->Show(true);
        return true;
    } catch (const std::exception& e) {
        message_box(from_narrow(e.what()), "C++ exception", wxOK | wxICON_ERROR);
    } catch (...) {
        message_box("Unknown exception. Application will be closed", "Fatal error",
                    wxOK | wxICON_ERROR);
    }
    // A station without its window cannot work: main() ends with a failure status.
    return false;
}

int undercam::OnExit() {
    termination_.reset();
    return 0;
}

bool undercam::OnExceptionInMainLoop() {
    try {
        throw;
    } catch (const std::exception& e) {
        message_box(from_narrow(e.what()), "C++ exception", wxOK | wxICON_ERROR);
        return true;
    } catch (...) {
        message_box(L"Программа будет завершена.", L"Неизвестное исключение.", wxOK | wxICON_ERROR);
        return false;
    }
}

void undercam::OnUnhandledException() {
    message_box("Unhandled exception", "Error", wxOK | wxCENTRE);
}

int main(int argc, char** argv) {
    // A start-up that returned false (second instance, failed window) ends with status 1.
    const int status = wxEntry(argc, argv);
    return status < 0 ? 1 : status;
}
