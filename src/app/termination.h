// A system shutdown (SIGTERM) closes the station as "Выход" does, whatever is
// open at the time: every modal dialog and message box is ended first (as
// if cancelled), and only then, back in the main loop, is the main window
// closed, so its destruction (which stops the recording and closes its
// session) never runs under a dialog's modal loop.
//
// The signal handler only raises a flag; a timer looks at it on the
// user-interface thread, where it also fires inside modal loops. One
// instance, held by the application object. User-interface thread only.
#pragma once

#include <wx/event.h>
#include <wx/modalhook.h>
#include <wx/timer.h>

#include <vector>

class wxDialog;

class termination : public wxEvtHandler, private wxModalDialogHook {
  public:
    termination();
    ~termination() override;
    termination(const termination&) = delete;
    termination& operator=(const termination&) = delete;

  private:
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog* dialog) override;
    void on_timer(wxTimerEvent&);

    wxTimer poll_;
    std::vector<wxDialog*> open_;
};

// A message box that a shutdown can end: the same texts, caption, buttons
// and icon as wxMessageBox, drawn by wxWidgets itself. Returns the wxID_*
// of the button, wxID_CANCEL when it was ended from outside.
int message_box(const wxString& text, const wxString& caption, long style,
                wxWindow* parent = nullptr);
