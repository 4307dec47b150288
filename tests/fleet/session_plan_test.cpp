// A session database as it goes into the fleet store: where it lies in the
// bucket, how its frames are cut into chunks, and which sessions are refused.
#include "database/ldb_format.h"
#include "database/ldb_writer.h"
#include "fleet/bucket_layout.h"
#include "fleet/digest.h"
#include "fleet/s3_client.h"
#include "fleet/session_plan.h"
#include "runtime/text_encoding.h"
#include "support/sample_db.h"
#include "support/test_home.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t MiB = 1 << 20;

// Frames of the given sizes at keys 10, 20, ..., their bytes telling them
// apart, closed as the station closes a session.
void make_sized_session(const std::string& path, const std::vector<uint64_t>& sizes,
                        const std::string& side = to_narrow(L"левый")) {
    ldb_writer w;
    w.open(path);
    for (size_t i = 0; i < sizes.size(); ++i) {
        const uint32_t key = 10 * uint32_t(i + 1);
        if (i == 0) w.put_dpp_start(key);
        w.put_dpp_end(key);
        w.put_stored(frame_key(key), std::string(sizes[i], char('a' + i % 26)));
    }
    w.put_time_start(1709647629);
    w.put_time_end(1709647700);
    w.close("A : B", side);
}

std::string refusal(const std::string& path, const std::string& vehicle = "V1") {
    try {
        session_plan plan(path, vehicle);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "accepted";
}

}  // namespace

TEST(bucket_layout, sessions_lie_under_vehicle_side_and_folder_time) {
    EXPECT_EQ(bucket_layout::session_prefix("V-1.a_b", "right", "2024.03.05 14.07.09"),
              "V-1.a_b/right/20240305T140709/");
    EXPECT_EQ(bucket_layout::chunk_name(7), "chunk-000007.bin");
    EXPECT_TRUE(bucket_layout::is_session_time("20240229T235960"));
    EXPECT_FALSE(bucket_layout::is_session_time("20230229T120000"));
    EXPECT_FALSE(bucket_layout::is_session_time("20240305 140709"));
    for (const char* vehicle : {"", ".", "..", "a/b", "Вагон", "a b", "a:b"}) {
        EXPECT_THROW(bucket_layout::session_prefix(vehicle, "left", "2024.03.05 14.07.09"),
                     std::invalid_argument)
            << vehicle;
    }
    EXPECT_THROW(bucket_layout::session_prefix("V1", "левый", "2024.03.05 14.07.09"),
                 std::invalid_argument);
    EXPECT_THROW(bucket_layout::session_prefix("V1", "left", "session 1"), std::invalid_argument);
    EXPECT_NO_THROW(bucket_layout::check_object_name("V1/left/20240305T140709/manifest.json"));
    for (const char* name : {"", "/a", "a/", "a//b", "a/./b", "a/../b", "a b", "a?b", "a%2F"}) {
        EXPECT_THROW(bucket_layout::check_object_name(name), std::invalid_argument) << name;
    }
}

TEST(session_plan, frames_are_cut_into_chunks_of_at_most_16_mib_the_same_way_every_time) {
    test_home home;
    const std::string path = home / "2024.03.05 14.07.09";
    // 6 + 6 fit, the third starts a chunk; a 17 MiB frame has a chunk alone.
    make_sized_session(path, {6 * MiB, 6 * MiB, 6 * MiB, 17 * MiB, 1, 16 * MiB - 1, 2});
    session_plan plan(path, "V1");
    EXPECT_EQ(plan.prefix(), "V1/left/20240305T140709/");
    ASSERT_EQ(plan.chunk_count(), 5u);
    EXPECT_EQ(plan.chunk_size(0), 12 * MiB);
    EXPECT_EQ(plan.chunk_size(1), 6 * MiB);
    EXPECT_EQ(plan.chunk_size(2), 17 * MiB);
    EXPECT_EQ(plan.chunk_size(3), 16 * MiB);
    EXPECT_EQ(plan.chunk_size(4), 2u);
    EXPECT_EQ(plan.total_bytes(), 51 * MiB + 2);
    EXPECT_EQ(plan.chunk_bytes(3), std::string(1, 'e') + std::string(16 * MiB - 1, 'f'));

    std::vector<std::string> digests;
    for (size_t i = 0; i < plan.chunk_count(); ++i)
        digests.push_back(sha256_hex(plan.chunk_bytes(i)));
    const session_manifest m = plan.manifest(digests);
    EXPECT_EQ(m.count, 7u);
    EXPECT_EQ(m.dpp_start, 10u);
    EXPECT_EQ(m.dpp_end, 70u);
    EXPECT_EQ(m.session, "A : B");
    EXPECT_EQ(m.time_start, 1709647629);
    EXPECT_EQ(*m.stored("count"), "0000000007");
    EXPECT_EQ(*m.stored("side"), to_narrow(L"левый"));
    EXPECT_EQ(m.frames[4].chunk, 3u);
    EXPECT_EQ(m.frames[5].offset, 1u);
    // What another reader would take: the manifest reads back as written.
    const std::string text = write_manifest(m);
    EXPECT_EQ(write_manifest(read_manifest(text)), text);

    session_plan again(path, "V1");
    EXPECT_EQ(again.frames_sha256(), plan.frames_sha256());
    EXPECT_EQ(write_manifest(again.manifest(digests)), text);
}

TEST(session_plan, refuses_sessions_that_cannot_go_to_the_store) {
    test_home home;
    const std::string unclosed = home / "2024.03.05 10.00.00";
    make_database(unclosed, {1, 2}, "A : B", "left", /*close=*/false);
    EXPECT_NE(refusal(unclosed).find("never closed"), std::string::npos);

    const std::string odd_side = home / "2024.03.05 11.00.00";
    make_database(odd_side, {1, 2}, "A : B", "верх");
    EXPECT_NE(refusal(odd_side).find("neither left nor right"), std::string::npos);

    const std::string renamed = home / "my session";
    make_database(renamed, {1, 2}, "A : B", "right");
    EXPECT_NE(refusal(renamed).find("is not a session's time"), std::string::npos);

    const std::string fine = home / "2024.03.05 12.00.00";
    make_database(fine, {1, 2}, "A : B", "right");
    EXPECT_NE(refusal(fine, "V/1").find("vehicle name"), std::string::npos);
    EXPECT_EQ(refusal(home / "2024.03.05 13.00.00").find(home / "2024.03.05 13.00.00"), 0u);

    const std::string recording = home / "2024.03.05 14.00.00";
    ldb_writer& live = ldb_writer::live();
    live.open(recording);
    live.put_dpp_start(1);
    live.put_frame(sample_frame(1), 1);
    EXPECT_EQ(refusal(recording), recording + ": the session is being recorded");
    live.close("A : B", "left");
    EXPECT_EQ(refusal(recording), "accepted");
}

TEST(session_plan, other_frames_give_another_fingerprint_and_stop_is_heard) {
    test_home home;
    const std::string path = home / "2024.03.05 14.07.09";
    make_sized_session(path, {100, 200});
    std::string before;
    {
        session_plan plan(path, "V1");
        EXPECT_EQ(plan.chunk_bytes(0), std::string(100, 'a') + std::string(200, 'b'));
        before = plan.frames_sha256();
        // The plan holds the database: nothing changes it meanwhile.
        ldb_writer w;
        EXPECT_THROW(w.open(path), std::runtime_error);
    }
    {
        ldb_writer w;
        w.open(path);
        w.put_stored(frame_key(15), "x");
        w.release();
    }
    session_plan changed(path, "V1");
    EXPECT_EQ(changed.chunk_size(0), 301u);
    EXPECT_NE(changed.frames_sha256(), before);

    make_sized_session(home / "2024.03.05 15.00.00", std::vector<uint64_t>(200, 10));
    size_t asked = 0;
    EXPECT_THROW(session_plan(home / "2024.03.05 15.00.00", "V1", [&] { return ++asked > 1; }),
                 s3_aborted);
}
