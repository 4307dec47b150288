// Journal rows, file names, the week-old cleanup and the file's encoding.
#include "runtime/journal.h"
#include "support/test_home.h"

#include <gtest/gtest.h>

#include <wx/ffile.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utime.h>

namespace {

std::tm at(int year, int month, int day, int h, int m, int s) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    return t;
}

void touch(const std::string& path, std::time_t modified) {
    std::ofstream(path) << "x";
    utimbuf times{modified, modified};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
}

// Runs the body with the C library in the plain C locale.
template <typename F>
void in_c_locale(F&& body) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    body();
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace

TEST(journal, row_has_four_lines_with_time_and_colour) {
    const std::tm t = at(2025, 3, 5, 9, 7, 3);
    EXPECT_EQ(journal_row(t, L"Готово <b>1</b>", false),
              L"<tr>\n<td>05.03.2025 09:07:03</td>\n<td> <font color='blue'>Готово <b>1</b>"
              L"</font></td>\n</tr>\n");
    std::wstring red = journal_row(t, L"Готово <b>1</b>", true);
    std::wstring blue = journal_row(t, L"Готово <b>1</b>", false);
    EXPECT_EQ(red.replace(red.find(L"red"), 3, L"blue"), blue);
}

TEST(journal, rows_go_to_the_information_and_error_streams) {
    std::wostringstream out, err;
    auto* old_out = std::wcout.rdbuf(out.rdbuf());
    auto* old_err = std::wcerr.rdbuf(err.rdbuf());
    log_info(wxString(L"сведения"));
    log_error(std::string("narrow failure"));
    std::wcout.rdbuf(old_out);
    std::wcerr.rdbuf(old_err);
    EXPECT_NE(out.str().find(L"<font color='blue'>сведения</font>"), std::wstring::npos);
    EXPECT_NE(err.str().find(L"<font color='red'>narrow failure</font>"), std::wstring::npos);
    EXPECT_EQ(out.str().substr(0, 9), L"<tr>\n<td>");
}

TEST(journal, file_name_runs_time_and_process_id_together) {
    EXPECT_EQ(journal_file_name(1700000000u, 4242), "undercam[17000000004242].html");
}

TEST(journal, cleanup_deletes_only_matching_files_older_than_seven_days) {
    test_home folder;
    const std::time_t now = 1800000000;
    touch(folder / "undercam[1].html", now - kJournalMaxAge);      // exactly 7 days: stays
    touch(folder / "undercam[2].html", now - kJournalMaxAge - 1);  // one second older: goes
    touch(folder / "undercam.html", now - 10 * kJournalMaxAge);    // no brackets
    touch(folder / "other[3].html", now - 10 * kJournalMaxAge);
    touch(folder / ".undercam[4].html", now - 10 * kJournalMaxAge);  // hidden
    std::filesystem::create_directory(folder / "sub");
    touch(folder / "sub/undercam[5].html", now - 10 * kJournalMaxAge);

    EXPECT_EQ(cleanup_old_journals(folder.path(), now), 1);
    EXPECT_TRUE(std::filesystem::exists(folder / "undercam[1].html"));
    EXPECT_FALSE(std::filesystem::exists(folder / "undercam[2].html"));
    EXPECT_TRUE(std::filesystem::exists(folder / "undercam.html"));
    EXPECT_TRUE(std::filesystem::exists(folder / "other[3].html"));
    EXPECT_TRUE(std::filesystem::exists(folder / ".undercam[4].html"));
    EXPECT_TRUE(std::filesystem::exists(folder / "sub/undercam[5].html"));
}

TEST(journal, file_bytes_follow_the_locale_and_stay_readable_in_plain_c) {
    in_c_locale([] {
        EXPECT_EQ(journal_file_bytes(L'A'), "A");
        EXPECT_EQ(journal_file_bytes(L'Б'), "&#1041;");
    });
    if (std::setlocale(LC_ALL, "C.UTF-8")) {
        EXPECT_EQ(journal_file_bytes(L'Б'), "\xD0\x91");
    }
}

TEST(journal, a_failed_conversion_does_not_silence_later_rows) {
    in_c_locale([] {
        // The standard stream fails on Cyrillic in the C locale; the next row must still appear.
        std::wostringstream sink;
        auto* old = std::wcerr.rdbuf(sink.rdbuf());
        std::wcerr.setstate(std::ios::badbit);
        log_error(wxString(L"после сбоя"));
        std::wcerr.rdbuf(old);
        std::wcerr.clear();
        EXPECT_NE(sink.str().find(L"после сбоя"), std::wstring::npos);
    });
}
