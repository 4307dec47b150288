// A recording process for the crash test: the camera simulator, a capture
// thread and a write thread on the given odometer line, recording into
// <home>/rec until it is killed. Every status line ("status: ...") and
// information row ("info: ...") the recording posts is printed at once, so
// the test knows which frames were acknowledged.
//
//   recording_child HOME ODOMETER_PATH
#include "camera/capture_thread.h"
#include "camera/frame_buffer.h"
#include "camera/sdk/jai_sim.h"
#include "recording/write_thread.h"
#include "runtime/app_link.h"
#include "runtime/configuration.h"
#include "runtime/thread_events.h"
#include "support/simulated_camera.h"
#include "support/station_setup.h"

#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

class printer : public wxEvtHandler {
  public:
    void QueueEvent(wxEvent* event) override {
        if (auto* e = dynamic_cast<wxThreadEvent*>(event)) {
            const char* kind = e->GetEventType() == evt_dpp_status ? "status"
                               : e->GetEventType() == evt_log_info ? "info"
                                                                   : nullptr;
            if (kind && !e->GetString().empty()) {
                std::printf("%s: %s\n", kind, e->GetString().utf8_str().data());
                std::fflush(stdout);
            }
        }
        delete event;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    setenv("HOME", argv[1], 1);
    wxInitializer init;
    const wxString home = argv[1];
    auto config = open_station_configuration(argv[1]);
    config->Write(cfg::dpp_port, wxString(argv[2]));
    config->Write(cfg::write_path, home + "/rec");
    config->Write(cfg::coordinate_server_enabled, false);
    printer sink;
    auto link = std::make_shared<app_link>(&sink, config.get());

    const simulated_camera camera(320, 200, 100);
    if (!camera.camera) return 1;
    auto frame = read_frame_geometry(camera.camera);
    start_capture_thread(link, camera.camera, *frame);
    auto* writer = new write_thread(link, "", *frame);
    if (writer->Run() != wxTHREAD_NO_ERROR) return 1;
    while (true)
        std::this_thread::sleep_for(std::chrono::hours(1));  // until killed
}
