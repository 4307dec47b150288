// The write thread on a pseudo-terminal odometer, with a frame buffer the
// test fills and a capture that keeps it freshly delivered, as the recording
// suites drive it.
#pragma once

#include "database/ldb_writer.h"
#include "recording/write_thread.h"
#include "runtime/configuration.h"
#include "support/db_dump.h"
#include "support/fake_capture.h"
#include "support/pty_pair.h"
#include "support/station_setup.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class write_thread_test : public testing::Test, protected station_setup {
  protected:
    void SetUp() override {
        config_->Write(cfg::dpp_port, wxString(line_.path()));
        config_->Write(cfg::write_path, wxString(home_ / "rec"));
        config_->Write(cfg::coordinate_server_enabled, false);
        frame_.width = 64;
        frame_.height = 48;
        frame_.pixels.assign(64 * 48, 77);
        camera_ = std::make_unique<fake_capture>(frame_);
    }
    void TearDown() override {
        stop();
        camera_.reset();
        link_->detach();
    }

    // Starts the thread and waits until it reads the line: bytes sent before
    // that are discarded as old travel.
    void start(const std::string& code = "", bool wait_for_line = true,
               size_t encoders = write_thread::default_encoders()) {
        thread_ = new write_thread(link_, code, frame_, encoders);
        ASSERT_EQ(thread_->Run(), wxTHREAD_NO_ERROR);
        if (!wait_for_line) return;
        ASSERT_TRUE(wait_until([&] {
            window_.drain();
            for (const auto& text : window_.texts(evt_log_info)) {
                if (text.StartsWith(L"Последовательный порт: ")) return true;
            }
            return false;
        }));
    }
    void stop() {
        if (!thread_) return;
        thread_->stop();
        thread_->Wait();
        delete thread_;
        thread_ = nullptr;
        window_.drain();
    }
    // Status lines so far (not the events that only change the faults).
    std::vector<wxString> status_lines() {
        window_.drain();
        std::vector<wxString> lines;
        for (const auto& text : window_.texts(evt_dpp_status)) {
            if (!text.empty()) lines.push_back(text);
        }
        return lines;
    }
    // Waits until `n` status lines have arrived; returns the n-th.
    wxString status_after(size_t n) {
        const bool arrived = wait_until([&] { return status_lines().size() >= n; });
        return arrived ? status_lines()[n - 1] : wxString("timed out");
    }
    // The fault bits of the newest status event.
    int faults() {
        window_.drain();
        for (auto it = window_.events.rbegin(); it != window_.events.rend(); ++it) {
            if (it->type == evt_dpp_status) return it->value;
        }
        return 0;
    }
    std::vector<recorded_event> databases() const {
        std::vector<recorded_event> out;
        for (const auto& e : window_.events) {
            if (e.type == evt_db_list) out.push_back(e);
        }
        return out;
    }
    std::vector<std::string> folders() const {
        std::vector<std::string> out;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(home_ / "rec", ec)) {
            out.push_back(e.path().string());
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    pty_pair line_;
    frame_buffer frame_;
    std::unique_ptr<fake_capture> camera_;
    write_thread* thread_ = nullptr;
};
