// The upload thread against the real engine: sessions queued by the window
// go up and are shown stored; a gateway killed under an upload costs one
// journal row when it goes and one when it is back, and a stored session is
// let go for deletion only while the store still holds it whole; a session taken back for
// a command is let go of at once; a new thread resumes what the last one
// left, and takes up again a stored session the bucket no longer agrees with.
#include "database/database_commands.h"
#include "fleet/fleet_row.h"
#include "fleet/fleet_store.h"
#include "fleet/s3_client.h"
#include "fleet/upload_queue.h"
#include "fleet/upload_state.h"
#include "fleet/upload_thread.h"
#include "runtime/app_link.h"
#include "runtime/text_encoding.h"
#include "support/event_recorder.h"
#include "support/fleet_engine.h"
#include "support/fleet_sessions.h"
#include "support/private_network.h"
#include "support/sample_db.h"
#include "support/test_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace std::chrono_literals;

class upload_thread_test : public testing::Test {
  protected:
    void SetUp() override {
        if (!private_network_failure().empty()) GTEST_SKIP() << private_network_failure();
        if (const std::string why = fleet_engine::unavailable(); !why.empty()) GTEST_SKIP() << why;
        engine_ = &fleet_engine::shared();
        link_ = std::make_shared<app_link>(&window_, nullptr);
    }
    void TearDown() override {
        stop();
        if (link_) link_->detach();
    }

    fleet_settings settings(const std::string& vehicle) const {
        fleet_settings s;
        s.enabled = true;
        s.store = engine_settings(*engine_);
        s.vehicle = vehicle;
        return s;
    }

    void start(const fleet_settings& s) {
        queue_ = std::make_shared<upload_queue>();
        thread_ = std::make_unique<upload_thread>(link_, queue_, s, home_ / "uploads.json");
        ASSERT_EQ(thread_->Run(), wxTHREAD_NO_ERROR);
    }
    // Stops the thread; how long it took.
    std::chrono::duration<double> stop() {
        const auto began = std::chrono::steady_clock::now();
        if (!thread_) return {};
        queue_->stop();
        thread_->Wait();
        thread_.reset();
        return std::chrono::steady_clock::now() - began;
    }

    // The last state the thread showed for `path`, -1 for none.
    int last_state(const std::string& path) {
        window_.drain();
        int state = -1;
        for (const auto& e : window_.events)
            if (e.type == evt_fleet_state && e.text == from_narrow(path)) state = e.value;
        return state;
    }
    bool shows(const std::string& path, fleet_row::state_kind state, std::chrono::seconds limit) {
        return wait_until([&] { return last_state(path) == state; }, limit);
    }
    size_t progress_rows() {
        window_.drain();
        return window_.texts(evt_fleet_progress).size();
    }
    size_t rows_with(wxEventType type, const wchar_t* text) {
        window_.drain();
        size_t n = 0;
        for (const wxString& row : window_.texts(type))
            n += row.Find(text) != wxNOT_FOUND;
        return n;
    }
    std::string journal() {
        window_.drain();
        std::string all;
        for (const auto& e : window_.events)
            if (e.type == evt_log_error || e.type == evt_log_info) all += to_narrow(e.text) + "\n";
        return all;
    }
    std::optional<session_manifest> manifest_of(const std::string& prefix) {
        s3_client client(engine_settings(*engine_));
        return fleet_store(client).manifest(prefix);
    }

    fleet_engine* engine_ = nullptr;
    test_home home_;
    event_recorder window_;
    app_link_ptr link_;
    std::shared_ptr<upload_queue> queue_;
    std::unique_ptr<upload_thread> thread_;
};

}  // namespace

TEST_F(upload_thread_test, a_gateway_killed_under_an_upload_costs_one_row_each_way) {
    const std::string path = home_ / "2024.03.05 17.00.00";
    make_large_session(path, 160, 640 << 10);  // 100 MB, seven chunks
    auto s = settings("thread1");
    s.store.max_rate = 40 << 10;  // KB/s: a few seconds of sending
    start(s);
    queue_->add({upload_job::upload, path});
    ASSERT_TRUE(wait_until([&] { return progress_rows() > 2; }, 60s)) << journal();
    EXPECT_EQ(last_state(path), fleet_row::uploading);
    engine_->kill_gateway();
    ASSERT_TRUE(wait_until([&] { return rows_with(evt_log_error, L"не отвечает") > 0; }, 60s))
        << journal();
    EXPECT_EQ(last_state(path), fleet_row::queued);
    std::this_thread::sleep_for(3s);  // tries on, with growing pauses, and says nothing more
    engine_->start();
    ASSERT_TRUE(shows(path, fleet_row::stored, 180s)) << journal();
    EXPECT_EQ(rows_with(evt_log_error, L"не отвечает"), 1u) << journal();
    EXPECT_EQ(rows_with(evt_log_info, L"снова отвечает"), 1u) << journal();
    EXPECT_EQ(rows_with(evt_log_info, L"Сеанс выгружен в хранилище"), 1u) << journal();
    const upload_state state(home_ / "uploads.json", engine_->endpoint(), engine_->bucket());
    ASSERT_NE(state.find(path), nullptr);
    EXPECT_TRUE(state.find(path)->stored);
    const auto m = manifest_of(state.find(path)->prefix);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->count, 160u);

    // Before a stored session is deleted here, it is verified there again.
    queue_->add({upload_job::confirm_for_deletion, path});
    ASSERT_TRUE(wait_until(
        [&] { return window_.drain(), window_.texts(evt_fleet_deletable).size() == 1; }, 60s))
        << journal();
    s3_client(engine_settings(*engine_)).delete_object(m->prefix() + m->chunks[3].name);
    queue_->add({upload_job::confirm_for_deletion, path});
    ASSERT_TRUE(wait_until([&] { return rows_with(evt_log_error, L"не удален") == 1; }, 60s))
        << journal();
    EXPECT_EQ(window_.texts(evt_fleet_deletable).size(), 1u);  // not this time
    EXPECT_LT(stop(), 2s);
}

TEST_F(upload_thread_test, a_session_taken_back_is_let_go_at_once_and_a_new_thread_resumes_it) {
    const std::string path = home_ / "2024.03.05 17.10.00";
    make_large_session(path, 64, 640 << 10);  // 40 MB, three chunks
    auto s = settings("thread2");
    s.store.max_rate = 4 << 10;  // slow: the release comes mid-chunk
    start(s);
    queue_->add({upload_job::upload, path});
    ASSERT_TRUE(wait_until([&] { return progress_rows() > 1; }, 60s)) << journal();
    const auto began = std::chrono::steady_clock::now();
    EXPECT_TRUE(queue_->release(path));
    EXPECT_LT(std::chrono::steady_clock::now() - began, upload_queue::kReleaseLimit);
    // The command runs: the database is free to change.
    replace_session(from_narrow(path), "C : D");
    EXPECT_FALSE(queue_->has_upload(path));
    EXPECT_LT(stop(), 2s);

    // A new thread (a station started again) takes up the unfinished session.
    s.store.max_rate = 0;
    start(s);
    ASSERT_TRUE(shows(path, fleet_row::stored, 120s)) << journal();
    const upload_state state(home_ / "uploads.json", engine_->endpoint(), engine_->bucket());
    const std::string prefix = state.find(path)->prefix;
    ASSERT_TRUE(manifest_of(prefix).has_value());
    EXPECT_EQ(manifest_of(prefix)->session, "C : D");
    stop();

    // Relabelled while no thread ran: the next thread checks the bucket and
    // takes the session up again.
    replace_session(from_narrow(path), "E : F");
    window_.events.clear();
    start(s);
    ASSERT_TRUE(wait_until([&] { return rows_with(evt_log_info, L"не совпадает") == 1; }, 60s))
        << journal();
    ASSERT_TRUE(shows(path, fleet_row::stored, 120s)) << journal();
    EXPECT_EQ(manifest_of(prefix)->session, "E : F");
}

TEST_F(upload_thread_test,
       sessions_waiting_out_an_outage_survive_a_restart_and_a_gone_one_costs_nothing_else) {
    const std::string first = home_ / "2024.03.05 17.20.00";
    const std::string second = home_ / "2024.03.05 17.30.00";
    make_large_session(first, 10, 64 << 10);
    make_large_session(second, 10, 64 << 10);
    s3_client(engine_settings(*engine_)).put_object("other/keep.bin", "kept", "text/plain");
    engine_->kill_gateway();
    start(settings("thread3"));
    queue_->add({upload_job::upload, first});
    queue_->add({upload_job::upload, second});
    ASSERT_TRUE(wait_until([&] { return rows_with(evt_log_error, L"не отвечает") == 1; }, 60s))
        << journal();
    stop();  // the station closed before either went up
    {
        const upload_state state(home_ / "uploads.json", engine_->endpoint(), engine_->bucket());
        EXPECT_NE(state.find(first), nullptr);
        EXPECT_NE(state.find(second), nullptr);
    }
    std::filesystem::remove_all(second);  // deleted meanwhile
    engine_->start();
    start(settings("thread3"));
    ASSERT_TRUE(shows(first, fleet_row::stored, 120s)) << journal();
    ASSERT_TRUE(wait_until(
        [&] {
            const upload_state s(home_ / "uploads.json", engine_->endpoint(), engine_->bucket());
            return s.find(second) == nullptr;
        },
        60s));
    EXPECT_TRUE(s3_client(engine_settings(*engine_)).head_object("other/keep.bin").has_value());
}
