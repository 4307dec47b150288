// Window and command identifiers, shared by menu items, tool bar tools and
// controls. The numbers up to 19 are the station's fixed command numbers.
#pragma once

enum command_id {
    id_journal = 1,
    id_camera_view = 2,
    id_database_list = 3,
    id_camera_choice = 4,
    id_exposure_choice = 5,
    id_settings = 6,
    id_exit = 7,
    id_refresh_cameras = 8,
    id_capture = 9,
    id_capture_write = 10,
    id_stop = 11,
    id_session_code = 12,
    id_reload_databases = 13,
    id_view_database = 14,
    id_delete_database = 15,
    id_archive_database = 16,
    id_replace_side = 17,
    id_replace_session = 18,
    id_dpp_test = 19,
    id_coverage_report = 20,
    id_fleet_upload = 21,
    id_fleet_upload_all = 22,
    id_fleet_delete_stored = 23,
    id_last_command = id_fleet_delete_stored,
};
