// The coverage table and report: the numbers a person keeps, and database
// texts that can never break the page.
#include "database/coverage_report.h"

#include <gtest/gtest.h>

namespace {

size_t occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST(coverage_report, the_table_lists_each_gap_with_its_keys_length_and_missing_frames) {
    const coverage c = coverage_of({100, 105, 110, 130, 135, 140, 170});
    const std::string table = coverage_table(c);
    EXPECT_EQ(table.substr(0, table.find('\n')), coverage_summary(c));
    EXPECT_NE(table.find("    1          110          130           20            3\n"),
              std::string::npos)
        << table;
    EXPECT_NE(table.find("    2          140          170           30            5\n"),
              std::string::npos)
        << table;
    EXPECT_EQ(occurrences(table, "\n"), 4u);  // summary, header, two gaps
    EXPECT_EQ(coverage_table(coverage_of({100, 105, 110})),
              coverage_summary(coverage_of({100, 105, 110})) + "\nпропусков нет\n");
}

TEST(coverage_report, the_page_draws_one_red_mark_per_gap_and_escapes_stored_texts) {
    const coverage c = coverage_of({0, 5, 10, 500, 505, 1000000});
    ldb_info info;
    info.session = "<script>alert('x')</script> & co";
    info.side = "left";
    const std::string html = coverage_report_html(c, info, "/data/2024.01.01 10.00.00");
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; co"),
              std::string::npos);
    EXPECT_EQ(occurrences(html, "fill=\"#d62020\""), c.gaps.size());
    EXPECT_EQ(c.gaps.size(), 2u);
    // A gap of a few counts in a span of a million is still drawn a unit wide.
    EXPECT_NE(html.find("<rect x=\"0.01\" width=\"1.00\""), std::string::npos) << html;
    EXPECT_NE(html.find("<td>1</td><td>10</td><td>500</td><td>490</td><td>97</td>"),
              std::string::npos);
    EXPECT_NE(html.find("<tr><th>Кадров</th><td>6</td></tr>"), std::string::npos);
    EXPECT_EQ(html.rfind("</html>\n"), html.size() - 8);
}

TEST(coverage_report, an_empty_session_gives_a_grey_strip_and_no_table) {
    const std::string html = coverage_report_html(coverage_of({}), ldb_info{}, "/x");
    EXPECT_NE(html.find("fill=\"#bbbbbb\""), std::string::npos);
    EXPECT_NE(html.find("Пропусков нет."), std::string::npos);
    EXPECT_EQ(html.find("<td>1</td>"), std::string::npos);
}
