// The camera half of the main window: the camera map and the open camera,
// the tool bar's camera and exposure choices, and the commands that change
// them: "Обновить список камер" (8), the camera choice (4) and the exposure
// choice (5). The window holds the acquisition that streams from the open
// camera; while one runs the camera stays as it is (the window's rule says
// so), and only the exposure mode may change.
//
// The window owns the camera factory; enumerating the cameras reopens it,
// so this holds a reference to the window's handle. Failures of the camera
// layer are red journal rows. User-interface thread only.
#pragma once

#include "app/command_table.h"
#include "camera/JAI_Camera.h"
#include "camera/camera_discovery.h"
#include "runtime/app_link.h"

#include <wx/choice.h>
#include <wx/toolbar.h>

#include <functional>
#include <string>

class camera_controls {
  public:
    // `idle`: no acquisition runs, so the camera may change.
    camera_controls(FACTORY_HANDLE& factory, const app_link_ptr& link, std::function<bool()> idle);
    ~camera_controls();
    camera_controls(const camera_controls&) = delete;
    camera_controls& operator=(const camera_controls&) = delete;

    void add_commands(command_table& commands);
    // The tool bar's " Камера: " and " Выдержка: " choices; the exposure
    // choice shows the configured mode ("exposure_mode", default "Off").
    void add_tools(wxToolBar* bar);

    // Lists the cameras again: journals their number and each camera's ID;
    // a failure is a red row and leaves the old list.
    void refresh_camera_list();
    // Start-up: opens the camera the configured driver ("driver", default
    // "SocketDriver") prefers, when there is any camera.
    void open_preferred_camera();
    // Closes the open camera (the factory's end is the window's).
    void release();

    const camera_ptr& camera() const { return camera_; }
    const camera_map& cameras() const { return cameras_; }

    // The choices' events, from the window's event table.
    void on_camera_choice(const wxString& description);
    void on_exposure_choice(const wxString& mode);

  private:
    // The camera choice's items: the map's descriptions, in its order.
    void show_camera_descriptions();
    void select_camera(const std::string& description);
    void refresh_cameras();

    FACTORY_HANDLE& factory_;
    app_link_ptr link_;
    std::function<bool()> idle_;
    camera_map cameras_;
    camera_ptr camera_;
    std::string camera_description_;  // of the open camera, as the camera choice shows it
    wxString exposure_mode_;
    wxChoice* camera_choice_ = nullptr;
    wxChoice* exposure_choice_ = nullptr;
};
