// The application object: refuses a second instance per user, creates the
// main window (whose construction is the whole start-up) and turns
// exceptions that escape into message boxes.
#pragma once

#include <wx/app.h>
#include <wx/snglinst.h>
#include <memory>

class termination;
class undercam_frame;

class undercam : public wxApp {
  public:
    bool OnInit() override;
    int OnExit() override;
    bool OnExceptionInMainLoop() override;
    void OnUnhandledException() override;

  private:
    undercam_frame* frame_ = nullptr;  // not owned: the framework destroys top-level windows
    std::unique_ptr<wxSingleInstanceChecker> checker_;
    std::unique_ptr<termination> termination_;
};

wxDECLARE_APP(undercam);
