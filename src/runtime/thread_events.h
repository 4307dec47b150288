// The thread event types by which worker threads report to the main
// window, and the numbers their integers carry. Every event has event id -1
// (wxID_ANY), carries a copy of its text, and is queued through app_link,
// which stops delivering once the window's destruction begins. The window
// handles each on the user-interface thread.
//
//   evt_stream_info    posted by capture_thread after every 10th frame;
//                      text "timestamp: T missing packets: M queued buffers: Q";
//                      the window refreshes the preview from the running mode's
//                      frame_buffer and shows the text in field_stream_info
//                      (ignored entirely while no mode runs).
//   evt_dpp_status     posted by write_thread after every odometer value, and
//                      whenever its faults change; text "ДПП[F]: V Записано:
//                      W Пропущено: S Сбоев: E", or empty when only the faults
//                      changed; int: the recording_fault bits now set (0: all
//                      well). Shown in field_recording, marked red while any
//                      fault is set.
//   evt_thread_status  posted by load_thread at the end of a scan; text
//                      "Диск: ...: Всего: T GB Cвободно: F GB"; int: the
//                      status_field to show it in (field_disk).
//   evt_grab_stats     posted by capture_thread after every frame and every
//                      wait that timed out; text "delivered: N lost: N await:
//                      N corrupt: N fps: N"; shown in field_grab_stats.
//   evt_log_error      posted by every worker (app_link::post_error); the
//                      text becomes a red journal row.
//   evt_log_info       posted by every worker (app_link::post_info); the text
//                      becomes a blue journal row.
//   evt_rc_command     posted by rc_service for each whole command; text: the
//                      command's session code ("A : B" or empty); int: its
//                      rc_code; the window runs the remote command.
//   evt_db_list        posted by load_thread for each database found and by
//                      write_thread for each closed session with frames;
//                      text: the database folder's path; payload: its
//                      ldb_info; the window appends it to the catalogue and
//                      the database list.
//   evt_coverage       posted by write_thread at most twice a second while
//                      its session grows; text: the session's folder; payload:
//                      its coverage so far; the window draws it under the
//                      live view.
#pragma once

#include <wx/event.h>

wxDECLARE_EVENT(evt_stream_info, wxThreadEvent);
wxDECLARE_EVENT(evt_dpp_status, wxThreadEvent);
wxDECLARE_EVENT(evt_thread_status, wxThreadEvent);
wxDECLARE_EVENT(evt_grab_stats, wxThreadEvent);
wxDECLARE_EVENT(evt_log_error, wxThreadEvent);
wxDECLARE_EVENT(evt_log_info, wxThreadEvent);
wxDECLARE_EVENT(evt_rc_command, wxThreadEvent);
wxDECLARE_EVENT(evt_db_list, wxThreadEvent);
wxDECLARE_EVENT(evt_coverage, wxThreadEvent);

// The four fields of the main window's status bar.
enum status_field : int {
    field_grab_stats = 0,   // evt_grab_stats
    field_stream_info = 1,  // evt_stream_info
    field_recording = 2,    // evt_dpp_status
    field_disk = 3,         // evt_thread_status
    status_field_count = 4,
};

// What keeps a recording from storing frames (evt_dpp_status's int, as bits).
enum recording_fault : int {
    fault_no_frames = 1,        // the camera has delivered nothing for a while
    fault_capture_stopped = 2,  // the capture thread is not running
    fault_odometer_lost = 4,    // the odometer's line is not open
    fault_store_failed = 8,     // writing the session database failed
    fault_disk_low = 16,        // little room left on the write folder's disk
    fault_behind = 32,          // messages wait in the line: frames are stored late
};

// Codes of remote commands (evt_rc_command's int); any other code is an empty command.
enum rc_code : int32_t {
    rc_start_recording = 1,  // start capture and recording, if idle with a camera open
    rc_stop = 2,             // stop the running mode
    rc_new_session = 3,      // journal the code; a recording goes on under it
};
