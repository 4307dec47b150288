// Coverage by distance from frame keys: nominal step, gaps, covered share.
#include "database/coverage.h"
#include "database/ldb_writer.h"
#include "support/sample_db.h"
#include "support/test_home.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

std::vector<uint32_t> steady(uint32_t from, uint32_t to, uint32_t step) {
    std::vector<uint32_t> keys;
    for (uint32_t k = from; k <= to; k += step)
        keys.push_back(k);
    return keys;
}

}  // namespace

TEST(coverage, a_steady_run_is_whole) {
    const coverage c = coverage_of(steady(100, 600, 5));
    EXPECT_EQ(c.frames, 101u);
    EXPECT_EQ(c.first, 100u);
    EXPECT_EQ(c.last, 600u);
    EXPECT_EQ(c.span(), 500u);
    EXPECT_EQ(c.step, 5u);
    EXPECT_TRUE(c.gaps.empty());
    EXPECT_DOUBLE_EQ(c.covered, 1.0);
    EXPECT_FALSE(c.largest_gap());
}

TEST(coverage, gaps_are_placed_by_position_with_the_frames_missing_there) {
    // 100..200 every 5, then nothing until 230 (5 frames missing), then to
    // 300, then a jump of one extra step (310: 1 missing) and a long hole.
    std::vector<uint32_t> keys = steady(100, 200, 5);
    for (uint32_t k : steady(230, 300, 5))
        keys.push_back(k);
    keys.push_back(310);
    for (uint32_t k : steady(1000, 1100, 5))
        keys.push_back(k);
    const coverage c = coverage_of(keys);
    EXPECT_EQ(c.step, 5u);
    ASSERT_EQ(c.gaps.size(), 3u);
    EXPECT_EQ(c.gaps[0].start, 200u);
    EXPECT_EQ(c.gaps[0].end, 230u);
    EXPECT_EQ(c.gaps[0].missing, 5u);
    EXPECT_EQ(c.gaps[1].start, 300u);
    EXPECT_EQ(c.gaps[1].end, 310u);
    EXPECT_EQ(c.gaps[1].missing, 1u);
    EXPECT_EQ(c.gaps[2].missing, 137u);
    EXPECT_EQ(c.missing(), 143u);
    EXPECT_EQ(c.largest_gap()->start, 310u);
    // Lost: 25 + 5 + 685 of a span of 1000.
    EXPECT_NEAR(c.covered, 1.0 - 715.0 / 1000.0, 1e-9);
}

TEST(coverage, uneven_steps_take_the_most_common_and_tolerate_half_a_step_more) {
    // Steps of 4, 5 and 6, five the most common: nothing is a gap below 7.5.
    const std::vector<uint32_t> keys = {100, 104, 109, 115, 120, 125, 131, 135, 140, 147, 155};
    const coverage c = coverage_of(keys);
    EXPECT_EQ(c.step, 5u);
    ASSERT_EQ(c.gaps.size(), 1u);  // only 147 -> 155 (8 > 7.5)
    EXPECT_EQ(c.gaps[0].start, 147u);
    EXPECT_EQ(c.gaps[0].missing, 1u);
    // Equally common steps: the smaller one is the nominal step.
    EXPECT_EQ(coverage_of({0, 4, 8, 14, 20}).step, 4u);
    // Steps beyond the counting table still count.
    EXPECT_EQ(coverage_of(steady(0, 20000, 2000)).step, 2000u);
    EXPECT_TRUE(coverage_of(steady(0, 20000, 2000)).gaps.empty());
}

TEST(coverage, one_frame_and_none) {
    const coverage one = coverage_of({42});
    EXPECT_EQ(one.frames, 1u);
    EXPECT_EQ(one.span(), 0u);
    EXPECT_EQ(one.step, 0u);
    EXPECT_DOUBLE_EQ(one.covered, 1.0);
    const coverage none = coverage_of({});
    EXPECT_EQ(none.frames, 0u);
    EXPECT_DOUBLE_EQ(none.covered, 0.0);
    EXPECT_EQ(coverage_summary(one), "кадров: 1, путь: 0, шаг: 0, пропусков: 0, покрыто: 100.0%");
}

TEST(coverage, a_database_is_read_for_its_frame_keys_and_refused_while_in_use) {
    test_home dir;
    const std::string path = dir / "db";
    make_database(path, {100, 105, 110, 130}, "A : B", "left");
    const coverage c = coverage_of_database(path);
    EXPECT_EQ(c.frames, 4u);
    ASSERT_EQ(c.gaps.size(), 1u);
    EXPECT_EQ(c.gaps[0].missing, 3u);
    EXPECT_EQ(coverage_summary(c), "кадров: 4, путь: 30, шаг: 5, пропусков: 1, покрыто: 50.0%");

    ldb_writer recording;
    recording.open(path);  // held open, as by a recording
    try {
        coverage_of_database(path);
        ADD_FAILURE() << "read a database that is in use";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("in use"), std::string::npos) << e.what();
    }
    recording.release();
    EXPECT_THROW(coverage_of_database(dir / "nothing"), std::exception);
}
