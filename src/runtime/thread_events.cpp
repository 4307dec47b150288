#include "runtime/thread_events.h"

wxDEFINE_EVENT(evt_stream_info, wxThreadEvent);
wxDEFINE_EVENT(evt_dpp_status, wxThreadEvent);
wxDEFINE_EVENT(evt_thread_status, wxThreadEvent);
wxDEFINE_EVENT(evt_grab_stats, wxThreadEvent);
wxDEFINE_EVENT(evt_log_error, wxThreadEvent);
wxDEFINE_EVENT(evt_log_info, wxThreadEvent);
wxDEFINE_EVENT(evt_rc_command, wxThreadEvent);
wxDEFINE_EVENT(evt_db_list, wxThreadEvent);
wxDEFINE_EVENT(evt_coverage, wxThreadEvent);
wxDEFINE_EVENT(evt_fleet_state, wxThreadEvent);
wxDEFINE_EVENT(evt_fleet_progress, wxThreadEvent);
wxDEFINE_EVENT(evt_fleet_deletable, wxThreadEvent);
