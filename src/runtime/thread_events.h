// The eight thread event types by which worker threads report to the main
// window. Each carries a text; some an integer; evt_db_list an ldb_info payload.
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
