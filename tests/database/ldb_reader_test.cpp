// Reading databases back: metadata with its defaults, frame lookup, failures.
#include "database/ldb_format.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "support/sample_db.h"
#include "support/test_home.h"

#include <gtest/gtest.h>
#include <leveldb/db.h>

#include <filesystem>
#include <memory>

namespace {

const char* const kBadCast =
    "bad lexical cast: source type value could not be interpreted as target";

// Puts raw entries into a new database.
void raw_database(const std::string& path,
                  const std::vector<std::pair<std::string, std::string>>& kv) {
    leveldb::Options options;
    options.create_if_missing = true;
    leveldb::DB* raw = nullptr;
    ASSERT_TRUE(leveldb::DB::Open(options, path, &raw).ok());
    std::unique_ptr<leveldb::DB> db(raw);
    for (const auto& [k, v] : kv)
        ASSERT_TRUE(db->Put(leveldb::WriteOptions(), k, v).ok());
}

std::string construction_error(const std::string& path) {
    try {
        ldb_reader reader(path);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

double brightness(const cv::Mat& image) {
    return image.empty() ? -1 : cv::mean(image)[0];
}

}  // namespace

TEST(ldb_reader, info_of_a_finished_recording) {
    test_home dir;
    make_database(dir / "db", {100, 105, 110}, "A : B", "left", true, cv::Size(640, 480));
    ldb_reader reader(dir / "db");
    const ldb_info info = reader.read_info();
    EXPECT_EQ(info.session, "A : B");
    EXPECT_EQ(info.side, "left");
    EXPECT_EQ(info.orientation, no_data_text());
    EXPECT_EQ(info.dpp_start, 100u);
    EXPECT_EQ(info.dpp_end, 110u);
    EXPECT_EQ(info.count, 3u);
    EXPECT_EQ(info.version, "1");
    EXPECT_EQ(info.time_start.size(), 19u);
    // The two frames before the last, each a JPEG of some ten kilobytes at least.
    EXPECT_GT(info.size, 20000u);
    EXPECT_LT(info.size, 3000000u);
}

TEST(ldb_reader, lookup_takes_the_frame_at_or_after_the_value) {
    test_home dir;
    make_database(dir / "db", {100, 105, 110}, "s", "x");
    ldb_reader reader(dir / "db");
    cv::Mat image;
    reader.frame_at(103, image);
    EXPECT_EQ(image.channels(), 3);
    EXPECT_NEAR(brightness(image), sample_brightness(105), 1.0);
    reader.frame_at(110, image);
    EXPECT_NEAR(brightness(image), sample_brightness(110), 1.0);
    reader.frame_at(0, image);
    EXPECT_NEAR(brightness(image), sample_brightness(100), 1.0);
    reader.frame_at(111, image);  // lands on "count": no image
    EXPECT_TRUE(image.empty());

    reader.seek_frame(101);
    auto [key, value] = reader.frame_bytes();
    EXPECT_EQ(key, "0000000105");
    reader.decode_current(image);
    EXPECT_NEAR(brightness(image), sample_brightness(105), 1.0);
}

TEST(ldb_reader, missing_entries_read_as_their_defaults) {
    test_home dir;
    make_database(dir / "db", {5}, "", "", /*close=*/false);  // killed recording
    ldb_reader reader(dir / "db");
    const ldb_info info = reader.read_info();
    EXPECT_EQ(info.session, no_data_text());
    EXPECT_EQ(info.side, no_data_text());
    EXPECT_EQ(info.count, 0u);
    EXPECT_EQ(info.version, "1");

    raw_database(dir / "noversion",
                 {{"0000000001", "x"}, {"dpp_start", "0000000001"}, {"dpp_end", "0000000001"}});
    ldb_reader bare(dir / "noversion");
    EXPECT_EQ(bare.read_version(), "");
    EXPECT_EQ(bare.read_info().time_start, "");
}

TEST(ldb_reader, dpp_values_of_all_ones_and_minus_one_read_alike) {
    test_home dir;
    raw_database(dir / "a", {{"dpp_start", "4294967295"}, {"dpp_end", "-1"}, {"version", "1"}});
    ldb_reader reader(dir / "a");
    EXPECT_EQ(reader.read_dpp_start(), 4294967295u);
    EXPECT_EQ(reader.read_dpp_end(), 4294967295u);
}

TEST(ldb_reader, time_of_minus_one_is_unknown) {
    test_home dir;
    raw_database(dir / "a",
                 {{"dpp_start", "1"}, {"dpp_end", "1"}, {"time_start", "-1"}, {"version", "1"}});
    EXPECT_EQ(ldb_reader(dir / "a").read_info().time_start, "");
}

TEST(ldb_reader, frameless_databases_fail_or_read_one_as_the_store_decides) {
    test_home dir;
    ldb_writer writer;
    writer.open(dir / "closed");
    writer.close("A : B", "left");  // "dpp_start" seeks onto "session"
    EXPECT_EQ(construction_error(dir / "closed"), kBadCast);

    raw_database(dir / "version_only", {{"version", "1"}});
    ldb_reader reader(dir / "version_only");
    EXPECT_EQ(reader.read_dpp_start(), 1u);
    EXPECT_EQ(reader.read_dpp_end(), 1u);
}

TEST(ldb_reader, a_folder_that_is_no_store_is_refused_and_left_as_it_was) {
    test_home dir;
    std::filesystem::create_directory(dir / "photos");
    const std::string error = construction_error(dir / "photos");
    EXPECT_EQ(error, "Invalid argument: " + (dir / "photos") +
                         ": does not exist (create_if_missing is false)");
    EXPECT_TRUE(std::filesystem::is_empty(dir / "photos"));
    EXPECT_NE(construction_error(dir / "absent"), "no error");
    EXPECT_FALSE(std::filesystem::exists(dir / "absent"));
}

TEST(ldb_reader, a_store_held_by_the_recording_gives_the_store_text) {
    test_home dir;
    make_database(dir / "db", {1}, "s", "x");
    ldb_writer recording;
    recording.open(dir / "db");
    EXPECT_NE(construction_error(dir / "db").find("lock"), std::string::npos);
    recording.close("s", "x");
}

TEST(ldb_reader, readers_of_one_database_share_it_and_a_writer_still_gets_it) {
    test_home dir;
    make_database(dir / "db", {100, 105}, "s", "x");
    {
        ldb_reader first(dir / "db");
        ldb_reader second(dir / "db");  // the store opens once per process
        EXPECT_EQ(first.read_info().count, second.read_info().count);
    }
    // Idle read handles do not keep relabelling out.
    ldb_writer relabel;
    EXPECT_NO_THROW(relabel.open(dir / "db"));
    relabel.release();
}
