// The file descriptors the services leave to the recording, proven with the
// process's limit lowered: a flood of data connections never makes a
// session's writes fail.
#include "camera/frame_buffer.h"
#include "runtime/configuration.h"
#include "services/descriptor_reserve.h"
#include "services/img_service.h"
#include "services/service_fixture.h"
#include "recording/write_thread.h"
#include "support/fake_capture.h"
#include "support/pty_pair.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

constexpr rlim_t kLowLimit = 256;

class descriptor_reserve_test : public service_fixture {
  protected:
    void SetUp() override {
        service_fixture::SetUp();
        ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved_), 0);
        if (saved_.rlim_max < kLowLimit) GTEST_SKIP() << "the hard limit is below " << kLowLimit;
        rlimit low{kLowLimit, saved_.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
        lowered_ = true;
        if (descriptor_reserve::open() > kLowLimit / 2) {
            GTEST_SKIP() << "too many descriptors open already: " << descriptor_reserve::open();
        }
    }
    void TearDown() override {
        service_fixture::TearDown();
        if (lowered_) setrlimit(RLIMIT_NOFILE, &saved_);
    }

    rlimit saved_{};
    bool lowered_ = false;
};

// A process of its own that opens `count` connections to the port, tells so
// through `ready`, and holds them until `hold` is closed. Only plain system
// calls run in it, as befits a child of a threaded process.
pid_t connect_from_child(unsigned short port, int count, int ready, int hold) {
    const pid_t child = fork();
    if (child != 0) return child;
    // Nothing of the parent's stays open here: its sockets would outlive
    // their closing by the service, and the pipes would never end.
    for (int fd = 3; fd < static_cast<int>(kLowLimit); ++fd) {
        if (fd != ready && fd != hold) ::close(fd);
    }
    rlimit all{};
    getrlimit(RLIMIT_NOFILE, &all);
    all.rlim_cur = all.rlim_max;
    setrlimit(RLIMIT_NOFILE, &all);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int connected = 0;
    for (int i = 0; i < count; ++i) {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        if (s >= 0 && connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) ++connected;
    }
    const char done = connected == count ? 'y' : 'n';
    if (write(ready, &done, 1) != 1) _exit(2);
    char ignored;
    while (read(hold, &ignored, 1) > 0) {
    }
    _exit(0);
}

}  // namespace

TEST_F(descriptor_reserve_test, counts_follow_the_limit_and_the_descriptors_opened) {
    EXPECT_EQ(descriptor_reserve::limit(), kLowLimit);
    EXPECT_EQ(descriptor_reserve::reserve(), 64u);  // an eighth of 256 is below the minimum
    // The services of earlier tests run on idle time and may still be closing
    // their sockets: counted once the count has held for 200 ms.
    size_t before = descriptor_reserve::open();
    int steady = 0;
    wait_until([&] {
        const size_t now = descriptor_reserve::open();
        steady = now == before ? steady + 1 : 0;
        before = now;
        return steady >= 20;
    });
    std::vector<int> taken;
    while (descriptor_reserve::allows(1) && taken.size() < kLowLimit) {
        taken.push_back(::open("/dev/null", O_RDONLY));
    }
    EXPECT_EQ(descriptor_reserve::open(), before + taken.size());
    EXPECT_EQ(descriptor_reserve::open() + 1 + descriptor_reserve::reserve(), kLowLimit + 1);
    EXPECT_TRUE(descriptor_reserve::allows(0));
    for (int fd : taken)
        ::close(fd);
    EXPECT_EQ(descriptor_reserve::open(), before);
}

TEST_F(descriptor_reserve_test, a_flood_of_data_connections_never_fails_the_recording) {
    pty_pair line;
    config_->Write(cfg::data_service_max_connections, 1000L);  // only the reserve limits
    config_->Write(cfg::dpp_port, wxString(line.path()));
    config_->Write(cfg::write_path, wxString(home_ / "rec"));
    config_->Write(cfg::coordinate_server_enabled, false);
    start(new img_service(link_));
    { tcp_client first(port_); }  // it listens

    frame_buffer frame;
    frame.width = 64;
    frame.height = 48;
    frame.pixels.assign(64 * 48, 77);
    fake_capture capture(frame);  // keeps the frame freshly delivered
    auto* writer = new write_thread(link_, "", frame);
    ASSERT_EQ(writer->Run(), wxTHREAD_NO_ERROR);
    // Bytes sent before the line is read are old travel, discarded.
    ASSERT_TRUE(wait_for_row(evt_log_info, L"Последовательный порт: "));

    uint32_t sent = 0;
    // Sessions of ten frames: each opens a database, the moment that needs
    // descriptors of its own.
    auto record_sessions = [&](int sessions) {
        for (int s = 0; s < sessions; ++s) {
            for (uint32_t v = 0; v < 10; ++v)
                line.send_new(100 + 5 * v);
            sent += 10;
            ASSERT_TRUE(wait_until([&] { return texts(evt_dpp_status).size() >= sent; }))
                << texts(evt_dpp_status).size() << " of " << sent;
        }
    };

    int ready[2], hold[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(hold), 0);
    const pid_t child = connect_from_child(port_, 300, ready[1], hold[0]);
    ASSERT_GT(child, 0);
    ::close(ready[1]);
    ::close(hold[0]);
    record_sessions(10);
    char done = 0;
    ASSERT_EQ(::read(ready[0], &done, 1), 1);
    EXPECT_EQ(done, 'y');  // all 300 connected
    EXPECT_TRUE(wait_for_row(evt_log_info, "File descriptors kept for the recording reached"));
    record_sessions(10);

    // The service holds many connections, but leaves the reserve free.
    const size_t held = connections_on(port_);
    EXPECT_LE(held + descriptor_reserve::reserve(), kLowLimit);
    EXPECT_GT(held, 100u);
    // A normal request still gets in, and finds the live recording.
    {
        tcp_client late(port_);
        EXPECT_GT(late.fetch(encode_data_request("", "", 100)).size(), 4u);
    }
    record_sessions(5);

    ::close(hold[1]);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    ::close(ready[0]);
    writer->stop();
    writer->Wait();
    delete writer;

    // Every value stored: no failure in any status, every session reported whole.
    const auto statuses = texts(evt_dpp_status);
    ASSERT_EQ(statuses.size(), sent);
    for (const auto& s : statuses)
        EXPECT_TRUE(s.EndsWith(L"Сбоев: 0")) << s;
    uint64_t stored = 0;
    size_t sessions = 0;
    for (const auto& e : window_.events) {
        if (e.type == evt_db_list) {
            stored += e.info.count;
            ++sessions;
        }
    }
    EXPECT_EQ(sessions, 25u);
    EXPECT_EQ(stored, sent);
    // Bursts of ten messages may be written late; nothing else goes wrong.
    for (const auto& row : texts(evt_log_error))
        EXPECT_TRUE(row.StartsWith(L"Запись отстает")) << row;
}
