// The main window in process: enabling rules, remote codes, status fields.
#include "app/main_window_fixture.h"
#include "runtime/configuration.h"
#include "database/catalogue.h"
#include "app/database/database_list.h"
#include "support/gui_helpers.h"
#include "camera/sdk/jai_sim.h"
#include "support/pty_pair.h"
#include "services/data_protocol.h"
#include "services/rc_protocol.h"
#include "support/station_process.h"
#include "runtime/thread_events.h"
#include "app/station_status_bar.h"
#include "app/undercam_frame.h"
#include "app/database/VImagePanel.h"

#include <boost/asio.hpp>
#include <gtest/gtest.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/fileconf.h>
#include <wx/utils.h>

#include <filesystem>
#include <functional>
#include <thread>
#include <unistd.h>

TEST_F(main_window_test,
       with_a_camera_open_capture_is_offered_and_database_commands_wait_for_a_row) {
    open();
    EXPECT_TRUE(enabled(id_capture));
    EXPECT_TRUE(enabled(id_capture_write));
    EXPECT_FALSE(enabled(id_stop));
    EXPECT_FALSE(enabled(id_session_code));
    EXPECT_TRUE(enabled(id_settings));
    EXPECT_TRUE(enabled(id_refresh_cameras));
    EXPECT_TRUE(enabled(id_reload_databases));
    EXPECT_FALSE(enabled(id_view_database));
    EXPECT_FALSE(enabled(id_replace_session));
    EXPECT_TRUE(enabled(id_dpp_test));
    EXPECT_TRUE(enabled(id_exit));
    save_screenshot(frame_, "main_window_in_process");
}

TEST_F(main_window_test, without_a_camera_nothing_can_be_captured) {
    jai_sim::set_cameras({});
    open();
    EXPECT_FALSE(enabled(id_capture));
    EXPECT_FALSE(enabled(id_capture_write));
    remote(1);  // does nothing without a camera
    EXPECT_FALSE(enabled(id_stop));
    EXPECT_NE(journal().find(L"0 camera(s) detected"), std::wstring::npos);
}

TEST_F(main_window_test, remote_codes_other_than_one_to_three_are_empty_commands) {
    open();
    remote(0);
    remote(4);
    remote(3, L"12 : ab");
    const std::wstring text = journal();
    size_t empty = 0;
    for (size_t at = text.find(L"Empty RC command"); at != std::wstring::npos;
         at = text.find(L"Empty RC command", at + 1)) {
        ++empty;
    }
    EXPECT_EQ(empty, 2u);
    EXPECT_NE(text.find(L"<font color='blue'>12 : ab</font>"), std::wstring::npos);
}

TEST_F(main_window_test, worker_events_reach_the_status_bar_and_the_journal) {
    open();
    auto post = [&](const wxEventTypeTag<wxThreadEvent>& type, const wxString& text,
                    int value = 0) {
        wxThreadEvent event(type, wxID_ANY);
        event.SetString(text);
        event.SetInt(value);
        wxQueueEvent(frame_, event.Clone());
    };
    post(evt_grab_stats, "delivered: 1 lost: 0 await: 0 corrupt: 0 fps: 0");
    post(evt_dpp_status, L"ДПП[7]: 100 Записано: 1 Пропущено: 0 Сбоев: 0");
    post(evt_thread_status, L"Диск: : Всего: 1 GB Cвободно: 0 GB", 3);
    post(evt_stream_info, "timestamp: 1");  // ignored while idle
    post(evt_log_error, L"сбой <b>1</b>");
    pump_events(200);
    wxStatusBar* bar = frame_->GetStatusBar();
    ASSERT_EQ(bar->GetFieldsCount(), 4);
    EXPECT_EQ(bar->GetStatusText(0), "delivered: 1 lost: 0 await: 0 corrupt: 0 fps: 0");
    EXPECT_EQ(bar->GetStatusText(1), "");
    EXPECT_EQ(bar->GetStatusText(2), L"ДПП[7]: 100 Записано: 1 Пропущено: 0 Сбоев: 0");
    EXPECT_EQ(bar->GetStatusText(3), L"Диск: : Всего: 1 GB Cвободно: 0 GB");
    EXPECT_NE(journal().find(L"<font color='red'>сбой <b>1</b></font>"), std::wstring::npos);
}

TEST_F(main_window_test, capture_and_recording_commands_start_and_stop_the_modes) {
    small_fast_camera();
    open();
    wxCommandEvent capture(wxEVT_MENU, id_capture);
    frame_->GetEventHandler()->ProcessEvent(capture);
    ASSERT_TRUE(enabled(id_stop)) << wxString(journal());
    EXPECT_FALSE(enabled(id_capture_write));
    EXPECT_FALSE(enabled(id_session_code));  // capture only
    EXPECT_FALSE(enabled(id_settings));
    // The preview comes alive and the statistics reach field 0.
    ASSERT_TRUE(pump_until(
        [&] { return frame_->GetStatusBar()->GetStatusText(1).StartsWith("timestamp: "); }));
    EXPECT_TRUE(frame_->GetStatusBar()->GetStatusText(0).StartsWith("delivered: "));
    save_screenshot(frame_, "main_window_capturing");
    remote(1);  // recording is not started over a running capture
    EXPECT_FALSE(enabled(id_session_code));
    remote(2);
    EXPECT_FALSE(enabled(id_stop));
    EXPECT_TRUE(enabled(id_capture));
    // After the stop, a late stream event changes nothing.
    const wxString last = frame_->GetStatusBar()->GetStatusText(1);
    wxThreadEvent late(evt_stream_info, wxID_ANY);
    late.SetString("timestamp: late");
    wxQueueEvent(frame_, late.Clone());
    pump_events(100);
    EXPECT_EQ(frame_->GetStatusBar()->GetStatusText(1), last);
    EXPECT_NE(journal().find(L"Condition wait exit"), std::wstring::npos);
}

TEST_F(main_window_test, recording_by_remote_command_lands_in_the_database_list) {
    pty_pair odometer;
    const std::string home = wxGetHomeDir().ToStdString();
    const std::string recordings = home + "/recordings-" + std::to_string(::getpid());
    configure([&](wxConfigBase& config) {
        config.Write(cfg::dpp_port, wxString(odometer.path()));
        config.Write(cfg::write_path, wxString(recordings));
        config.Write(cfg::coordinate_server_enabled, false);
    });
    small_fast_camera();
    open();
    remote(1);
    ASSERT_TRUE(enabled(id_session_code));
    ASSERT_TRUE(pump_until(
        [&] { return journal().find(L"Последовательный порт: ") != std::wstring::npos; }));
    for (uint32_t v : {100u, 105u, 110u})
        odometer.send_new(v);
    ASSERT_TRUE(pump_until([&] {
        return frame_->GetStatusBar()->GetStatusText(2) ==
               L"ДПП[7]: 110 Записано: 3 Пропущено: 0 Сбоев: 0";
    }));
    remote(3, "12 : ab");  // a new session under this code; the first is reported
    odometer.send_new(115);
    ASSERT_TRUE(pump_until([&] {
        return frame_->GetStatusBar()->GetStatusText(2).StartsWith(L"ДПП[7]: 115 Записано: 1");
    }));
    remote(2);
    pump_events(200);
    auto* list = dynamic_cast<database_list*>(frame_->FindWindow(id_database_list));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->GetItemCount(), 2);
    const auto entries = catalogue::instance().snapshot();  // the list shows the catalogue
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries.back().info.session, "12 : ab");
    EXPECT_EQ(entries.back().path, list->rows()[1].path);
    EXPECT_EQ(list->GetItemText(0, 0), "");
    EXPECT_EQ(list->GetItemText(0, 7), "3");
    EXPECT_EQ(list->GetItemText(1, 0), "12 : ab");
    EXPECT_EQ(list->GetItemText(1, 4), "115");
    EXPECT_FALSE(enabled(id_stop));
    save_screenshot(frame_, "main_window_after_recording");
}

namespace {

unsigned short free_tcp_port() {
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor a(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    return a.local_endpoint().port();
}

// Sends one request or command and reads its reply, on a fresh connection.
template <size_t N>
std::vector<uint8_t> exchange(unsigned short port, const std::array<uint8_t, N>& bytes, bool png) {
    namespace asio = boost::asio;
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    socket.connect({asio::ip::make_address("127.0.0.1"), port});
    asio::write(socket, asio::buffer(bytes));
    std::vector<uint8_t> reply(png ? 4 : N);
    asio::read(socket, asio::buffer(reply));
    if (png) {
        const uint32_t n = reply[0] | reply[1] << 8 | reply[2] << 16 | uint32_t(reply[3]) << 24;
        reply.resize(4 + n);
        asio::read(socket, asio::buffer(reply.data() + 4, n));
    }
    return reply;
}

}  // namespace

TEST_F(main_window_test, remote_clients_drive_recording_and_fetch_its_frames) {
    pty_pair odometer;
    const std::string home = wxGetHomeDir().ToStdString();
    const unsigned short data_port = free_tcp_port();
    const unsigned short rc_port = free_tcp_port();
    configure([&](wxConfigBase& config) {
        config.Write(cfg::dpp_port, wxString(odometer.path()));
        config.Write(cfg::write_path, wxString(home + "/remote-" + std::to_string(::getpid())));
        config.Write(cfg::coordinate_server_enabled, false);
        config.Write(cfg::rc_service_enabled, true);
        config.Write(cfg::rc_service_port, wxString::Format("%u", rc_port));
        config.Write(cfg::data_service_port, wxString::Format("%u", data_port));
    });
    small_fast_camera();
    open();
    pump_events(300);  // the services start listening

    const command_bytes zeros{};
    auto command = [&](int code, const std::string& a = {}, const std::string& b = {}) {
        std::vector<uint8_t> reply;
        std::thread client(
            [&] { reply = exchange(rc_port, encode_rc_command(code, a, b), false); });
        pump_until([&] { return !reply.empty(); });
        client.join();
        EXPECT_TRUE(std::equal(reply.begin(), reply.end(), zeros.begin()));
        pump_events(200);
    };
    command(1);
    ASSERT_TRUE(enabled(id_session_code));
    command(3, "A", "B");
    ASSERT_TRUE(pump_until(
        [&] { return journal().find(L"Последовательный порт: ") != std::wstring::npos; }));
    pump_events(300);
    for (uint32_t v : {100u, 105u, 110u})
        odometer.send_new(v);
    ASSERT_TRUE(pump_until([&] {
        return frame_->GetStatusBar()->GetStatusText(2).StartsWith(L"ДПП[7]: 110 Записано: 3");
    }));
    // While recording, an empty second part asks for the live frame.
    const auto live = exchange(data_port, encode_data_request("", "", 104), true);
    EXPECT_GT(live.size(), 4u);
    auto* list = dynamic_cast<database_list*>(frame_->FindWindow(id_database_list));
    ASSERT_NE(list, nullptr);
    const int rows = list->GetItemCount();  // the catalogue lives as long as the process
    command(3, "C", "D");                   // the session "A : B" closes and joins the catalogue
    ASSERT_TRUE(pump_until([&] { return list->GetItemCount() == rows + 1; }));
    EXPECT_EQ(list->GetItemText(rows, 0), "A : B");
    const auto recorded = exchange(data_port, encode_data_request("A", "B", 103), true);
    EXPECT_EQ(recorded, live);  // the frame at 105, the same bytes as live
    command(2);
    EXPECT_FALSE(enabled(id_stop));
    const auto idle = exchange(data_port, encode_data_request("", "", 1), true);
    EXPECT_EQ(idle, (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_NE(journal().find(L"Incoming RC connection from: 127.0.0.1"), std::wstring::npos);
}

TEST_F(main_window_test, a_camera_that_delivers_nothing_shows_red_in_the_recording_field) {
    pty_pair odometer;
    const std::string recordings = wxGetHomeDir().ToStdString() + "/silent-camera";
    configure([&](wxConfigBase& config) {
        config.Write(cfg::dpp_port, wxString(odometer.path()));
        config.Write(cfg::write_path, wxString(recordings));
        config.Write(cfg::coordinate_server_enabled, false);
    });
    jai_sim::camera_config camera = jai_sim::default_cameras()[1];
    camera.width = 320;
    camera.height = 200;
    camera.fps = 0;  // delivers nothing
    jai_sim::set_cameras({camera});
    open();
    remote(rc_start_recording);
    auto* bar = dynamic_cast<station_status_bar*>(frame_->GetStatusBar());
    ASSERT_NE(bar, nullptr);
    // Seen within 2 s of the camera's silence (and half a second's check).
    ASSERT_TRUE(pump_until([&] { return bar->faults() & fault_no_frames; }, 5000));
    odometer.send_new(100);
    odometer.send_new(105);
    ASSERT_TRUE(pump_until([&] {
        return bar->GetStatusText(field_recording) ==
               L"ДПП[7]: 105 Записано: 0 Пропущено: 1 Сбоев: 2";
    }));
    EXPECT_TRUE(bar->faults() & fault_no_frames);
    save_screenshot(frame_, "recording_field_in_red");
    remote(rc_stop);
    EXPECT_EQ(bar->faults(), 0);
    EXPECT_FALSE(std::filesystem::exists(recordings) &&
                 !std::filesystem::is_empty(recordings));  // nothing was stored
    const std::wstring text = journal();
    size_t rows = 0;
    for (size_t at = text.find(L"Нет кадров с камеры"); at != std::wstring::npos;
         at = text.find(L"Нет кадров с камеры", at + 1)) {
        ++rows;
    }
    EXPECT_EQ(rows, 1u);  // one row for the fault, not one per message
}

TEST_F(main_window_test, a_remote_start_on_an_unsupported_format_is_a_red_row_and_no_box) {
    jai_sim::camera_config camera = jai_sim::default_cameras()[1];
    camera.width = 320;
    camera.height = 200;
    camera.pixel_format = 0x02180014;  // RGB8
    jai_sim::set_cameras({camera});
    open();
    dialog_answers answers([](wxDialog*) { return wxID_OK; });
    const std::wstring row = L"<font color='red'>Unsupported pixel format 0x02180014: ";
    remote(rc_start_recording);
    EXPECT_TRUE(answers.titles.empty()) << answers.titles.front();
    EXPECT_EQ(journal_count(row), 1u) << journal();
    EXPECT_FALSE(enabled(id_stop));  // still idle
    EXPECT_TRUE(enabled(id_capture_write));
    remote(rc_start_recording);  // and the next command is taken
    EXPECT_EQ(journal_count(row), 2u);
    EXPECT_TRUE(answers.titles.empty());
}

TEST_F(main_window_test, the_live_view_takes_the_ruler_settings) {
    configure([](wxConfigBase& config) {
        config.Write(cfg::scale, 1.6);
        config.Write(cfg::show_scale, false);
    });
    open();
    auto* view = dynamic_cast<VImagePanel*>(frame_->FindWindow(id_camera_view));
    ASSERT_NE(view, nullptr);
    EXPECT_DOUBLE_EQ(view->scale(), 1.6);
    EXPECT_FALSE(view->ruler_shown());
}
