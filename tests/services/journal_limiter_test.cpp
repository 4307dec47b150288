// The limit on journal rows caused by peers, with time passed in by hand.
#include "services/journal_limiter.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::chrono_literals;
using clock_type = journal_limiter::clock;

namespace {

const clock_type::time_point t0 = clock_type::time_point() + 1h;

int admitted(journal_limiter& limiter, int rows, const std::string& kind, const std::string& source,
             clock_type::time_point at) {
    int passed = 0;
    for (int i = 0; i < rows; ++i)
        passed += limiter.admit(kind, source, true, at) ? 1 : 0;
    return passed;
}

}  // namespace

TEST(journal_limiter, a_few_rows_a_second_per_source_then_one_summary) {
    journal_limiter limiter;
    EXPECT_EQ(admitted(limiter, 100, "Bad discovery datagram", "10.0.0.5", t0), 3);
    EXPECT_TRUE(limiter.expire(t0 + 999ms).empty());  // the window has not passed
    const auto told = limiter.expire(t0 + 1s);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].suppressed, 97u);
    EXPECT_TRUE(told[0].error);
    EXPECT_EQ(told[0].text(), "97 more rows \"Bad discovery datagram\" from 10.0.0.5 suppressed");
    EXPECT_TRUE(limiter.expire(t0 + 5s).empty());  // told once
    // A new window passes rows again.
    EXPECT_EQ(admitted(limiter, 5, "Bad discovery datagram", "10.0.0.5", t0 + 2s), 3);
}

TEST(journal_limiter, sources_and_kinds_have_shares_of_their_own) {
    journal_limiter limiter;
    EXPECT_EQ(admitted(limiter, 5, "Incoming connection from", "10.0.0.5", t0), 3);
    EXPECT_EQ(admitted(limiter, 5, "Incoming connection from", "10.0.0.6", t0), 3);
    EXPECT_EQ(admitted(limiter, 5, "Connection closed", "10.0.0.5", t0), 3);
    const auto told = limiter.expire(t0 + 1s);
    ASSERT_EQ(told.size(), 3u);
    for (const auto& s : told)
        EXPECT_EQ(s.suppressed, 2u);
}

TEST(journal_limiter, a_crowd_of_forged_sources_shares_one_limit) {
    journal_limiter::limits limits;
    limits.per_kind = 20;
    limits.max_sources = 64;
    journal_limiter limiter(limits);
    int passed = 0;
    for (int i = 0; i < 10000; ++i) {
        passed += limiter.admit("Bad discovery datagram",
                                "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250),
                                false, t0)
                      ? 1
                      : 0;
    }
    EXPECT_EQ(passed, 20);
    const auto told = limiter.expire(t0 + 1s);
    // One summary per remembered source and one for all the others: bounded
    // however many addresses were forged.
    EXPECT_LE(told.size(), limits.max_sources + 1);
    unsigned suppressed = 0;
    for (const auto& s : told)
        suppressed += s.suppressed;
    EXPECT_EQ(suppressed, 10000u - 20u);
    EXPECT_TRUE(std::any_of(told.begin(), told.end(), [](const auto& s) {
        return s.source == journal_limiter::kOtherSources;
    }));
}

TEST(journal_limiter, a_window_closed_by_the_next_row_is_still_told) {
    journal_limiter limiter;
    EXPECT_EQ(admitted(limiter, 4, "Data request failure", "10.0.0.5", t0), 3);
    // The next row comes after the window, before any expire().
    EXPECT_TRUE(limiter.admit("Data request failure", "10.0.0.5", true, t0 + 3s));
    const auto told = limiter.expire(t0 + 3s);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].suppressed, 1u);
}

TEST(journal_limiter, a_burst_is_told_once_until_it_pauses) {
    journal_limiter limiter;
    EXPECT_TRUE(limiter.begins_burst("limit", t0, 10s));
    for (int i = 1; i < 100; ++i)
        EXPECT_FALSE(limiter.begins_burst("limit", t0 + i * 1s, 10s));  // never a 10 s pause
    EXPECT_TRUE(limiter.begins_burst("other", t0 + 100s, 10s));
    EXPECT_TRUE(limiter.begins_burst("limit", t0 + 110s, 10s));
}
