// The write thread end to end on a pseudo-terminal odometer, without windows.
#include "recording/write_thread_fixture.h"
#include "runtime/app_link.h"
#include "runtime/configuration.h"
#include "recording/coordinate_protocol.h"
#include "support/event_recorder.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "support/pty_pair.h"
#include "support/test_home.h"
#include "support/db_dump.h"
#include "support/wait.h"
#include "support/fake_capture.h"
#include "support/failing_env.h"
#include "recording/odometer_test.h"
#include "recording/write_thread.h"

#include <boost/asio.hpp>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <thread>

using namespace std::chrono_literals;

TEST_F(write_thread_test, three_values_give_three_frames_and_one_reported_database) {
    start();
    for (uint32_t v : {100u, 105u, 110u})
        line_.send_new(v);
    EXPECT_EQ(status_after(3), L"ДПП[7]: 110 Записано: 3 Пропущено: 0 Сбоев: 0");
    stop();
    const auto dbs = databases();
    ASSERT_EQ(dbs.size(), 1u);
    EXPECT_EQ(dbs[0].info.count, 3u);
    EXPECT_EQ(dbs[0].info.side, "левый");
    EXPECT_EQ(dbs[0].info.session, "");
    EXPECT_EQ(dbs[0].info.dpp_start, 100u);
    EXPECT_EQ(dbs[0].info.dpp_end, 110u);
    ASSERT_EQ(folders().size(), 1u);
    EXPECT_EQ(folders()[0], dbs[0].text.ToStdString());
    EXPECT_EQ(std::filesystem::path(folders()[0]).filename().string().size(), 19u);
    auto entries = dump_database(folders()[0]);
    EXPECT_EQ(
        entries.count("0000000100") + entries.count("0000000105") + entries.count("0000000110"),
        3u);
    EXPECT_EQ(entries["count"], "0000000003");
    EXPECT_EQ(entries["dpp_start"], "0000000100");
    EXPECT_EQ(entries["side"], "левый");
    EXPECT_NE(window_.texts(evt_log_info).front().Find(L"Последовательный порт: "), wxNOT_FOUND);
}

TEST_F(write_thread_test, the_row_of_a_closed_session_is_the_row_a_later_scan_reads) {
    // A short session stays in the store's write buffer until it closes.
    start();
    for (uint32_t v = 100; v < 200; v += 5)
        line_.send_new(v);
    status_after(20);
    stop();
    ASSERT_EQ(databases().size(), 1u);
    const ldb_info shown = databases()[0].info;
    EXPECT_GT(shown.size, 0u);  // not "Not available"
    const ldb_info scanned = ldb_reader(folders()[0]).read_info();
    EXPECT_EQ(record_text(shown), record_text(scanned));
}

TEST_F(write_thread_test, a_gap_of_three_messages_shows_as_skipped) {
    start();
    line_.send_new(100);
    line_.send_new(120);
    EXPECT_EQ(status_after(2), L"ДПП[7]: 120 Записано: 2 Пропущено: 3 Сбоев: 0");
}

TEST_F(write_thread_test, a_backward_count_closes_the_session_and_opens_a_new_one) {
    start();
    for (uint32_t v : {100u, 105u, 110u, 50u})
        line_.send_new(v);
    status_after(4);
    stop();
    const auto info = window_.texts(evt_log_info);
    EXPECT_NE(std::find(info.begin(), info.end(), "dpp reset: 110 to 50"), info.end());
    const auto dirs = folders();
    ASSERT_EQ(dirs.size(), 2u);         // never the same folder, even within one second
    ASSERT_EQ(databases().size(), 2u);  // both join the catalogue
    EXPECT_EQ(databases()[0].info.count, 3u);
    EXPECT_EQ(databases()[0].text.ToStdString(), dirs[0]);
    EXPECT_EQ(dump_database(dirs[0])["count"], "0000000003");
    EXPECT_EQ(dump_database(dirs[1])["dpp_start"], "0000000050");
    EXPECT_EQ(dump_database(dirs[1])["count"], "0000000001");
}

TEST_F(write_thread_test, a_new_session_code_closes_the_session_under_the_old_one) {
    start("A");
    line_.send_new(100);
    status_after(1);
    thread_->set_session_code("B");
    EXPECT_EQ(thread_->get_session_code(), "B");
    line_.send_new(105);
    status_after(2);
    stop();
    const auto dirs = folders();
    ASSERT_EQ(dirs.size(), 2u);
    EXPECT_EQ(dump_database(dirs[0])["session"], "A");
    EXPECT_EQ(dump_database(dirs[1])["session"], "B");
    ASSERT_EQ(databases().size(), 2u);
    EXPECT_EQ(databases()[0].info.session, "A");
    EXPECT_EQ(databases()[1].info.session, "B");
    const auto info = window_.texts(evt_log_info);
    EXPECT_NE(std::find(info.begin(), info.end(), "New session started (id: B)"), info.end());
}

TEST_F(write_thread_test, the_first_code_labels_the_running_session) {
    start();
    line_.send_new(100);
    status_after(1);
    thread_->set_session_code("12 : ab");
    line_.send_new(105);
    status_after(2);
    stop();
    ASSERT_EQ(folders().size(), 1u);
    EXPECT_EQ(dump_database(folders()[0])["session"], "12 : ab");
}

TEST_F(write_thread_test, old_format_configured_hears_only_old_messages_through_stray_bytes) {
    config_->Write(cfg::dpp_format, wxString(L"ДПП4"));
    start();
    line_.send_new(100);  // deaf to the new format
    line_.send({0x00, 0xFF});
    line_.send_old(200);
    EXPECT_EQ(status_after(1), L"ДПП[4]: 200 Записано: 1 Пропущено: 0 Сбоев: 0");
}

TEST_F(write_thread_test, an_empty_geometry_counts_failures_and_writes_no_frame) {
    frame_.width = 0;
    frame_.pixels.clear();
    start();
    line_.send_new(100);
    EXPECT_EQ(status_after(1), L"ДПП[7]: 100 Записано: 0 Пропущено: 1 Сбоев: 1");
    stop();
    EXPECT_TRUE(databases().empty());  // a session without frames is not reported
}

TEST_F(write_thread_test,
       a_port_that_cannot_be_opened_is_reported_once_and_opened_when_it_appears) {
    const std::string link = home_ / "odometer";
    config_->Write(cfg::dpp_port, wxString(link));
    start("", false);
    EXPECT_TRUE(wait_until([&] { return faults() & fault_odometer_lost; }));
    std::this_thread::sleep_for(1500ms);  // a retry or two, never journalled again
    window_.drain();
    EXPECT_EQ(
        window_.texts(evt_log_error),
        std::vector<wxString>{wxString(L"Не удалось открыть последовательный порт: ") + link});
    // The adapter is plugged in: the line opens and recording goes on.
    std::filesystem::create_symlink(line_.path(), link);
    ASSERT_TRUE(wait_until([&] {
        window_.drain();
        const auto info = window_.texts(evt_log_info);
        return std::find(info.begin(), info.end(), wxString(L"Последовательный порт: ") + link) !=
               info.end();
    }));
    line_.send_new(100);
    EXPECT_EQ(status_after(1), L"ДПП[7]: 100 Записано: 1 Пропущено: 0 Сбоев: 0");
    EXPECT_EQ(faults(), 0);
}

TEST_F(write_thread_test, a_stop_before_the_loop_runs_still_ends_the_thread) {
    thread_ = new write_thread(link_, "", frame_);
    thread_->stop();
    ASSERT_EQ(thread_->Run(), wxTHREAD_NO_ERROR);
    thread_->Wait();
    delete thread_;
    thread_ = nullptr;
}

TEST_F(write_thread_test, an_unresolvable_server_is_reported_once_and_recording_goes_on) {
    config_->Write(cfg::coordinate_server_enabled, true);
    config_->Write(cfg::coordinate_server_address, wxString("no-such-host.invalid"));
    config_->Write(cfg::coordinate_server_query_period, 1L);
    start();
    line_.send_new(100);
    EXPECT_EQ(status_after(1), L"ДПП[7]: 100 Записано: 1 Пропущено: 0 Сбоев: 0");
    std::this_thread::sleep_for(2500ms);  // resolved again each period
    line_.send_new(105);
    EXPECT_EQ(status_after(2), L"ДПП[7]: 105 Записано: 2 Пропущено: 0 Сбоев: 0");
    window_.drain();
    EXPECT_EQ(window_.texts(evt_log_error), std::vector<wxString>{"CoordServer resolve error"});
    EXPECT_TRUE(ldb_writer::live().is_open());
}

TEST_F(write_thread_test, the_coordinate_server_names_the_session) {
    namespace asio = boost::asio;
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
    std::atomic<int> queries{0};
    std::thread server([&] {
        boost::system::error_code ec;
        auto socket = acceptor.accept(ec);
        coordinate_query_bytes query{};
        while (!ec && asio::read(socket, asio::buffer(query), ec) == query.size()) {
            ++queries;
            EXPECT_EQ(query, coordinate_query());
            asio::write(socket, asio::buffer(coordinate_answer("A12", "7")), ec);
        }
    });
    config_->Write(cfg::coordinate_server_enabled, true);
    config_->Write(cfg::coordinate_server_port,
                   wxString::Format("%u", acceptor.local_endpoint().port()));
    config_->Write(cfg::coordinate_server_query_period, 1L);
    start();
    EXPECT_TRUE(wait_until([&] { return thread_->get_session_code() == "A12 : 7"; }));
    line_.send_new(100);
    status_after(1);
    std::this_thread::sleep_for(1200ms);  // the same answer again changes nothing
    stop();
    acceptor.close();
    server.join();
    EXPECT_GE(queries.load(), 2);
    const auto info = window_.texts(evt_log_info);
    EXPECT_EQ(std::count(info.begin(), info.end(), "New session started (id: A12 : 7)"), 1);
    EXPECT_NE(std::find(info.begin(), info.end(), "Connect to coordinate server. Ok."), info.end());
    ASSERT_EQ(databases().size(), 1u);
    EXPECT_EQ(databases()[0].info.session, "A12 : 7");
}

// Faults: what the recording does when its inputs or its store fail.

TEST_F(write_thread_test, nothing_is_stored_that_a_running_capture_did_not_just_deliver) {
    camera_.reset();  // no capture runs: the buffer holds an old picture
    start();
    line_.send_new(100);
    EXPECT_EQ(status_after(1), L"ДПП[7]: 100 Записано: 0 Пропущено: 1 Сбоев: 1");
    EXPECT_TRUE(faults() & fault_capture_stopped);
    EXPECT_TRUE(folders().empty());

    // A capture that has begun but delivered nothing yet: still nothing.
    mark_capture_began(frame_);
    line_.send_new(105);
    EXPECT_EQ(status_after(2), L"ДПП[7]: 105 Записано: 0 Пропущено: 1 Сбоев: 2");

    camera_ = std::make_unique<fake_capture>(frame_);
    line_.send_new(110);
    EXPECT_EQ(status_after(3), L"ДПП[7]: 110 Записано: 1 Пропущено: 0 Сбоев: 2");
    EXPECT_EQ(faults(), 0);

    // The camera falls silent: within 2 s its last frame is too old to store.
    camera_->pause(true);
    ASSERT_TRUE(wait_until([&] { return faults() & fault_no_frames; }, 5s));
    line_.send_new(115);
    EXPECT_EQ(status_after(4), L"ДПП[7]: 115 Записано: 1 Пропущено: 0 Сбоев: 3");
    camera_->pause(false);
    ASSERT_TRUE(wait_until([&] { return faults() == 0; }, 5s));
    line_.send_new(120);
    EXPECT_EQ(status_after(5), L"ДПП[7]: 120 Записано: 2 Пропущено: 1 Сбоев: 3");
    stop();

    // Each fault wrote one red row when it began and one blue row when it ended.
    const auto errors = window_.texts(evt_log_error);
    const auto infos = window_.texts(evt_log_info);
    auto count = [](const std::vector<wxString>& rows, const wchar_t* text) {
        return std::count(rows.begin(), rows.end(), wxString(text));
    };
    EXPECT_EQ(count(errors, L"Захват остановлен: кадры не записываются"), 1);
    EXPECT_EQ(count(infos, L"Захват идет: кадры записываются"), 1);
    EXPECT_EQ(count(errors, L"Нет кадров с камеры: кадры не записываются"), 1);
    EXPECT_EQ(count(infos, L"Кадры с камеры поступают"), 1);
    ASSERT_EQ(folders().size(), 1u);
    const auto stored = dump_database(folders()[0]);
    EXPECT_EQ(stored.count("0000000110") + stored.count("0000000120"), 2u);
    EXPECT_EQ(stored.at("count"), "0000000002");
}

TEST_F(write_thread_test, bytes_that_waited_in_the_line_are_not_recorded) {
    line_.send_new(100);  // sent while nothing read the line
    line_.send_new(105);
    start();
    line_.send_new(110);
    EXPECT_EQ(status_after(1), L"ДПП[7]: 110 Записано: 1 Пропущено: 0 Сбоев: 0");
    stop();
    ASSERT_EQ(folders().size(), 1u);
    EXPECT_EQ(dump_database(folders()[0]).count("0000000100"), 0u);
}

TEST_F(write_thread_test, the_odometer_test_leaves_the_recordings_port_alone) {
    start();
    const auto lines = run_odometer_test({line_.path()});
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "недоступен");
    for (uint32_t v : {100u, 105u, 110u})
        line_.send_new(v);
    EXPECT_EQ(status_after(3), L"ДПП[7]: 110 Записано: 3 Пропущено: 0 Сбоев: 0");
    stop();
    // Once the recording has let go, the test reads the port again.
    EXPECT_EQ(run_odometer_test({line_.path()})[2], "ДПП не найден");
}

TEST_F(write_thread_test, a_lost_line_is_shown_reopened_and_recording_goes_on) {
    auto first = std::make_unique<pty_pair>();
    const std::string link = home_ / "odometer";
    std::filesystem::create_symlink(first->path(), link);
    config_->Write(cfg::dpp_port, wxString(link));
    start();
    first->send_new(100);
    EXPECT_EQ(status_after(1), L"ДПП[7]: 100 Записано: 1 Пропущено: 0 Сбоев: 0");

    first.reset();  // the adapter is pulled
    ASSERT_TRUE(wait_until([&] { return faults() & fault_odometer_lost; }, 5s));
    EXPECT_EQ(window_.texts(evt_log_error),
              std::vector<wxString>{"Error reading serial serial_port."});

    pty_pair second;  // plugged in again, under the same name
    std::filesystem::remove(link);
    std::filesystem::create_symlink(second.path(), link);
    ASSERT_TRUE(wait_until([&] { return faults() == 0; }, 5s));
    second.send_new(50);  // the count went back: a new session
    EXPECT_EQ(status_after(2), L"ДПП[7]: 50 Записано: 1 Пропущено: 0 Сбоев: 0");
    stop();
    EXPECT_EQ(folders().size(), 2u);
    EXPECT_EQ(databases().size(), 2u);
    EXPECT_EQ(window_.texts(evt_log_error).size(), 1u);  // the retries were not journalled
}

TEST_F(write_thread_test, a_failing_store_is_shown_and_storing_resumes_in_a_new_session) {
    failing_env disk;
    ldb_writer::set_store_env(&disk);
    start("A");
    line_.send_new(100);
    line_.send_new(105);
    EXPECT_EQ(status_after(2), L"ДПП[7]: 105 Записано: 2 Пропущено: 0 Сбоев: 0");

    disk.fail(true);
    line_.send_new(110);
    status_after(3);
    EXPECT_TRUE(faults() & fault_store_failed);
    line_.send_new(115);  // within 5 s of the failure no new session is tried
    EXPECT_EQ(status_after(4).AfterLast(' '), "2");  // Сбоев: 2
    disk.fail(false);
    std::this_thread::sleep_for(5200ms);
    line_.send_new(120);
    EXPECT_EQ(status_after(5), L"ДПП[7]: 120 Записано: 1 Пропущено: 0 Сбоев: 2");
    EXPECT_EQ(faults(), 0);
    stop();
    ldb_writer::set_store_env(nullptr);

    const auto errors = window_.texts(evt_log_error);
    ASSERT_EQ(errors.size(), 1u);  // one row for the whole failure
    EXPECT_NE(errors[0].Find("No space left on device"), wxNOT_FOUND);
    const auto infos = window_.texts(evt_log_info);
    EXPECT_NE(std::find(infos.begin(), infos.end(), L"Запись в базу возобновлена"), infos.end());
    // The session the store failed in was finished from its frames once the
    // store was back, and joined the catalogue with the new one.
    const auto dirs = folders();
    ASSERT_EQ(dirs.size(), 2u);
    const auto failed = dump_database(dirs[0]);
    EXPECT_EQ(failed.at("count"), "0000000002");
    EXPECT_EQ(failed.at("session"), "A");
    EXPECT_EQ(failed.at("dpp_end"), "0000000105");
    EXPECT_EQ(failed.count("0000000110"), 0u);
    ASSERT_EQ(databases().size(), 2u);
    EXPECT_EQ(databases()[0].info.count, 2u);
    EXPECT_EQ(databases()[1].info.count, 1u);
}

TEST_F(write_thread_test, a_closed_session_is_journalled_with_what_it_covered) {
    start();
    for (uint32_t v : {100u, 105u, 110u, 130u, 135u, 140u})
        line_.send_new(v);
    status_after(6);
    // The live coverage goes to the window, at most twice a second.
    ASSERT_TRUE(wait_until([&] {
        window_.drain();
        return std::any_of(window_.events.begin(), window_.events.end(),
                           [](const recorded_event& e) { return e.type == evt_coverage; });
    }));
    stop();
    ASSERT_EQ(folders().size(), 1u);
    const auto infos = window_.texts(evt_log_info);
    const wxString row = wxString(L"Сеанс закрыт: ") + folders()[0] +
                         L": кадров: 6, путь: 40, шаг: 5, пропусков: 1, покрыто: 62.5%";
    EXPECT_NE(std::find(infos.begin(), infos.end(), row), infos.end());
    const auto live = std::find_if(window_.events.rbegin(), window_.events.rend(),
                                   [](const recorded_event& e) { return e.type == evt_coverage; });
    ASSERT_NE(live, window_.events.rend());
    EXPECT_EQ(live->text, folders()[0]);
}
