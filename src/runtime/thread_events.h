// The thread event types by which worker threads report to the main
// window. Every event has event id -1 (wxID_ANY), carries a copy of its
// text, and is queued through app_link, which stops delivering once the
// window's destruction begins. The window handles each on the
// user-interface thread. The numbers some integers carry belong to their
// posters (recording_fault with write_thread, rc_code with the remote
// control's protocol); the status bar's fields to the status bar.
//
//   evt_stream_info    posted by capture_thread after every 10th frame;
//                      text "timestamp: T missing packets: M queued buffers: Q";
//                      the window refreshes the preview from the running mode's
//                      frame_buffer and shows the text in the stream field
//                      (ignored entirely while no mode runs).
//   evt_dpp_status     posted by write_thread after every odometer value, and
//                      whenever its faults change; text "ДПП[F]: V Записано:
//                      W Пропущено: S Сбоев: E", or empty when only the faults
//                      changed; int: the recording_fault bits now set (0: all
//                      well). Shown in the recording field, marked red while
//                      any fault is set.
//   evt_thread_status  posted by load_thread at the end of a scan; text the
//                      disk line "Диск: ...: Всего: T GB Cвободно: F GB";
//                      int: 3, the status field that shows it.
//   evt_grab_stats     posted by capture_thread after every frame and every
//                      wait that timed out; text "delivered: N lost: N await:
//                      N corrupt: N fps: N"; shown in the statistics field.
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
//   evt_fleet_state    posted by upload_thread when a session's place in the
//                      fleet store changes, and a few times a second while it
//                      uploads; text: the database folder's path; int: its
//                      fleet_row::state_kind; extra long: the percent of an
//                      upload; shown in the list's column "Хранилище".
//   evt_fleet_progress posted by upload_thread a few times a second while a
//                      transfer runs; text: its progress and rate, empty when
//                      none runs; shown in the status bar's fleet field.
//   evt_fleet_deletable posted by upload_thread for a stored session it has
//                      verified again in the store at the window's request;
//                      text: the database folder's path; the window deletes
//                      it (if it may still).
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
wxDECLARE_EVENT(evt_fleet_state, wxThreadEvent);
wxDECLARE_EVENT(evt_fleet_progress, wxThreadEvent);
wxDECLARE_EVENT(evt_fleet_deletable, wxThreadEvent);
