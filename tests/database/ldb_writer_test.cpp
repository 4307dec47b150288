// What ldb_writer stores, read back from outside with the bare store API.
#include "database/ldb_format.h"
#include "database/ldb_writer.h"
#include "support/sample_db.h"
#include "support/test_home.h"
#include "support/db_dump.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

TEST(ldb_writer, a_finished_recording_holds_every_key_in_its_stored_form) {
    test_home dir;
    const std::string path = dir / "2024.03.05 14.07.09";
    ldb_writer writer;
    writer.open(path);
    EXPECT_TRUE(writer.is_open());
    writer.put_dpp_start(7);
    writer.put_time_start(1700000000);
    const cv::Mat first = sample_frame(7, 320, 200);
    for (uint32_t v : {7u, 4294967295u}) {
        writer.put_dpp_end(v);
        writer.put_time_end(1700000005);
        writer.put_frame(v == 7 ? first : sample_frame(v, 320, 200), v);
    }
    writer.close("A : B", "left");
    EXPECT_FALSE(writer.is_open());
    EXPECT_EQ(writer.count(), 0u);

    EXPECT_EQ(database_keys(path),
              (std::vector<std::string>{"0000000007", "4294967295", "count", "dpp_end", "dpp_start",
                                        "session", "side", "time_end", "time_start", "version"}));
    auto entries = dump_database(path);
    EXPECT_EQ(entries["version"], "1");
    EXPECT_EQ(entries["dpp_start"], "0000000007");
    EXPECT_EQ(entries["dpp_end"], "4294967295");
    EXPECT_EQ(entries["time_start"], "1700000000");
    EXPECT_EQ(entries["time_end"], "1700000005");
    EXPECT_EQ(entries["count"], "0000000002");
    EXPECT_EQ(entries["session"], "A : B");
    EXPECT_EQ(entries["side"], "left");

    // A frame is a complete JPEG of the grey image, nothing more.
    const std::string& jpeg = entries["0000000007"];
    ASSERT_GE(jpeg.size(), 4u);
    EXPECT_EQ(uint8_t(jpeg[0]), 0xFF);
    EXPECT_EQ(uint8_t(jpeg[1]), 0xD8);
    EXPECT_EQ(uint8_t(jpeg[jpeg.size() - 2]), 0xFF);
    EXPECT_EQ(uint8_t(jpeg[jpeg.size() - 1]), 0xD9);
    const cv::Mat decoded =
        cv::imdecode(cv::Mat(1, int(jpeg.size()), CV_8UC1, const_cast<char*>(jpeg.data())),
                     cv::IMREAD_UNCHANGED);
    ASSERT_EQ(decoded.type(), CV_8UC1);
    EXPECT_EQ(decoded.cols, 320);
    EXPECT_EQ(decoded.rows, 200);
    EXPECT_NEAR(cv::mean(decoded)[0], sample_brightness(7), 1.0);
    // Quality 85 of the same image, byte for byte.
    std::vector<uint8_t> expected;
    cv::imencode(".jpg", first, expected, {cv::IMWRITE_JPEG_QUALITY, 85});
    EXPECT_TRUE(jpeg == std::string(expected.begin(), expected.end()));
}

TEST(ldb_writer, the_same_count_twice_keeps_the_later_frame_and_counts_both) {
    test_home dir;
    const std::string path = dir / "db";
    ldb_writer writer;
    writer.open(path);
    writer.put_frame(sample_frame(1), 50);
    writer.put_frame(sample_frame(99), 50);
    writer.close("s", "side");
    auto entries = dump_database(path);
    EXPECT_EQ(entries["count"], "0000000002");
    const std::string& jpeg = entries["0000000050"];
    const cv::Mat decoded =
        cv::imdecode(cv::Mat(1, int(jpeg.size()), CV_8UC1, const_cast<char*>(jpeg.data())),
                     cv::IMREAD_GRAYSCALE);
    EXPECT_NEAR(cv::mean(decoded)[0], sample_brightness(99), 1.0);
}

TEST(ldb_writer, a_frameless_database_has_only_the_closing_entries) {
    test_home dir;
    const std::string path = dir / "db";
    ldb_writer writer;
    writer.open(path);
    writer.close("s", "side");
    EXPECT_EQ(database_keys(path),
              (std::vector<std::string>{"count", "session", "side", "version"}));
    EXPECT_EQ(dump_database(path)["count"], "0000000000");
}

TEST(ldb_writer, relabelling_rewrites_version_and_one_text_only) {
    test_home dir;
    const std::string path = dir / "db";
    make_database(path, {100, 105}, "old", "left");
    auto before = dump_database(path);
    ldb_writer relabel;
    relabel.open(path);
    relabel.put_side("right");
    relabel.release();
    auto after = dump_database(path);
    EXPECT_EQ(after["side"], "right");
    after["side"] = before["side"];
    EXPECT_EQ(after, before);
}

TEST(ldb_writer, an_open_store_refuses_a_second_writer_with_the_store_text) {
    test_home dir;
    const std::string path = dir / "db";
    ldb_writer first;
    first.open(path);
    ldb_writer second;
    try {
        second.open(path);
        FAIL() << "second open succeeded";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("lock"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(second.is_open());
    first.close("", "");
}

TEST(ldb_writer, puts_without_an_open_database_do_nothing) {
    ldb_writer writer;
    EXPECT_NO_THROW(writer.put_frame(sample_frame(1), 1));
    EXPECT_NO_THROW(writer.close("s", "x"));
    EXPECT_EQ(writer.read_dpp_start(), 0u);
    EXPECT_EQ(writer.read_session(), "");
    EXPECT_FALSE(writer.read_time_start().has_value());
    EXPECT_FALSE(writer.seek_value(0).has_value());
}

TEST(ldb_writer, live_reads_follow_the_open_database) {
    test_home dir;
    ldb_writer writer;
    writer.open(dir / "db");
    bool missing = true;
    writer.put_dpp_start(100);
    writer.put_time_start(1700000000);
    writer.put_dpp_end(110);
    writer.put_time_end(1700000001);
    for (uint32_t v : {100u, 105u, 110u})
        writer.put_frame(sample_frame(v), v);
    const ldb_info info = writer.read_info(&missing);
    EXPECT_FALSE(missing);
    EXPECT_EQ(info.dpp_start, 100u);
    EXPECT_EQ(info.dpp_end, 110u);
    EXPECT_EQ(info.count, 3u);
    EXPECT_EQ(info.version, "1");
    EXPECT_EQ(info.time_start, local_time_text(1700000000));
    EXPECT_EQ(writer.seek_value(103), writer.seek_value(105));
    EXPECT_NE(writer.seek_value(103), writer.seek_value(100));
    // Beyond the last frame the seek lands on the first metadata entry, "dpp_end".
    EXPECT_EQ(writer.seek_value(111), std::optional<std::string>("0000000110"));
    writer.close("", "");
}

TEST(ldb_writer, live_reads_never_touch_a_released_handle) {
    test_home dir;
    ldb_writer writer;
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (!stop) {
            writer.seek_value(1);
            writer.read_dpp_end();
            writer.read_size();
            ++reads;
        }
    });
    for (int i = 0; i < 30; ++i) {
        writer.open(dir / ("db" + std::to_string(i)));
        writer.put_dpp_start(1);
        writer.put_dpp_end(1);
        writer.put_frame(sample_frame(1), 1);
        writer.close("s", "x");
    }
    stop = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
}
