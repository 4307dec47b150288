// Entry of window tests: a temporary HOME with the two default simulated
// cameras in its camera settings file, a running wx application object with
// its GUI initialised (a display is needed: the suites run under xvfb-run).
#include "support/camera_settings_file.h"
#include "support/test_home.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/uilocale.h>

#include <cstdlib>

namespace {
class test_app : public wxApp {
  public:
    bool OnInit() override { return true; }
};
}  // namespace

wxIMPLEMENT_APP_NO_MAIN(test_app);

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    test_home home;
    setenv("HOME", home.path().c_str(), 1);
    unsetenv("JAI_SIM_CONFIG");
    write_simulated_cameras(home.path());
    wxApp::SetInstance(new test_app);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) return 1;
    wxUILocale::UseDefault();
    int status = 0;
    {
        // Tests pump events themselves; they need an active loop to do it.
        wxGUIEventLoop loop;
        wxEventLoopActivator active(&loop);
        status = RUN_ALL_TESTS();
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}
