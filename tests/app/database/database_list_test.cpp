// The database list on a real window.
#include "app/database/database_list.h"
#include "support/gui_helpers.h"

#include <gtest/gtest.h>
#include <wx/frame.h>

namespace {

ldb_info info(const std::string& session, uint32_t start, uint32_t end, uint64_t size,
              uint64_t count) {
    ldb_info i;
    i.session = session;
    i.side = "left";
    i.time_start = "2024-03-05 14:07:09";
    i.time_end = "2024-03-05 14:37:00";
    i.dpp_start = start;
    i.dpp_end = end;
    i.size = size;
    i.count = count;
    return i;
}

}  // namespace

TEST(database_list, cells_show_the_catalogue_as_the_operator_reads_it) {
    ldb_entry entry{info("A : B", 100, 4294967295u, 0, 3), "/w/db"};
    EXPECT_EQ(database_list::cell_text(entry, 0), "A : B");
    EXPECT_EQ(database_list::cell_text(entry, 1), "left");
    EXPECT_EQ(database_list::cell_text(entry, 2), "2024-03-05 14:07:09");
    EXPECT_EQ(database_list::cell_text(entry, 4), "100");
    EXPECT_EQ(database_list::cell_text(entry, 5), "-");
    EXPECT_EQ(database_list::cell_text(entry, 6), "Not available");
    EXPECT_EQ(database_list::cell_text(entry, 7), "3");
    EXPECT_EQ(database_list::cell_text(entry, 8), "");
    entry.info.size = 1536 * 1024;
    EXPECT_EQ(database_list::cell_text(entry, 6), "1.5 MB");
}

TEST(database_list, added_rows_show_and_the_selection_gives_the_path) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "databases", wxDefaultPosition, wxSize(1000, 300));
    auto* list = new database_list(frame, 3);
    frame->Show();
    list->clear();
    EXPECT_EQ(list->GetItemCount(), 0);
    EXPECT_EQ(list->selected_path(), "");

    add_row(*list, {info("12 : ab", 100, 110, 1234567, 3), "/w/2024.03.05 14.07.09"});
    add_row(*list, {info("12 : cd", 4294967295u, 4294967295u, 0, 0), "/w/2024.03.05 15.00.00"});
    add_row(*list, {info("13 : ef", 0, 52000, 987654321, 10401), "/w/2024.03.06 08.00.00"});
    EXPECT_EQ(list->GetItemCount(), 3);
    EXPECT_EQ(list->GetColumnCount(), 8);
    ASSERT_EQ(list->rows().size(), 3u);
    EXPECT_EQ(list->rows()[1].path, "/w/2024.03.05 15.00.00");
    EXPECT_EQ(list->GetItemText(1, 4), "-");
    EXPECT_EQ(list->GetItemText(2, 7), "10401");
    wxListItem heading;
    heading.SetMask(wxLIST_MASK_TEXT);
    list->GetColumn(5, heading);
    EXPECT_EQ(heading.GetText(), L"ДПП окончания");

    list->SetItemState(2, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    EXPECT_EQ(list->selected_path(), "/w/2024.03.06 08.00.00");
    pump_events(300);
    save_screenshot(frame, "database_list");

    ldb_entry relabelled = list->rows()[1];
    relabelled.info.side = "right";
    list->update_row(relabelled);
    EXPECT_EQ(list->GetItemText(1, 1), "right");
    list->show({list->rows()[2]});
    EXPECT_EQ(list->GetItemCount(), 1);
    EXPECT_EQ(list->GetItemText(0, 7), "10401");

    list->clear();
    EXPECT_EQ(list->GetItemCount(), 0);
    EXPECT_EQ(list->selected_path(), "");
    frame->Destroy();
    pump_events(50);
}

TEST(database_list, a_database_folder_has_one_row_however_often_it_is_added) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "databases", wxDefaultPosition, wxSize(1000, 300));
    auto* list = new database_list(frame, 3);
    const ldb_entry a{info("A", 1, 2, 10, 2), "/w/a"}, b{info("B", 1, 2, 10, 2), "/w/b"};
    EXPECT_TRUE(add_row(*list, a));
    EXPECT_FALSE(add_row(*list, a));
    EXPECT_TRUE(add_row(*list, b));
    EXPECT_EQ(list->GetItemCount(), 2);
    EXPECT_TRUE(list->has_row("/w/b"));
    list->show({b});  // what the list holds after a deletion
    EXPECT_FALSE(list->has_row("/w/a"));
    EXPECT_FALSE(add_row(*list, b));
    EXPECT_TRUE(add_row(*list, a));
    list->clear();
    EXPECT_TRUE(add_row(*list, b));
    EXPECT_EQ(list->GetItemCount(), 1);
    frame->Destroy();
    pump_events(50);
}

TEST(database_list, columns_come_to_fit_their_widest_text_and_narrow_for_a_new_set) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "databases", wxDefaultPosition, wxSize(1000, 300));
    auto* list = new database_list(frame, 3);
    frame->Show();
    const wxString wide = L"Очень длинный код сеанса : 1234567890";
    const int heading = list->GetColumnWidth(0);
    for (int i = 0; i < 2000; ++i) {
        const std::string session = i == 1500 ? std::string(wide.utf8_str()) : "A";
        add_row(*list, {info(session, 1, 2, 10, 2), wxString::Format("/w/%d", i)});
    }
    ASSERT_TRUE(pump_until([&] { return list->columns_fitted(); }));
    pump_events(50);
    EXPECT_GE(list->GetColumnWidth(0), list->GetTextExtent(wide).GetWidth());
    EXPECT_GT(list->GetColumnWidth(0), heading);
    // Every other column fits its heading and its texts.
    for (int column = 1; column < 8; ++column) {
        wxListItem item;
        item.SetMask(wxLIST_MASK_TEXT);
        list->GetColumn(column, item);
        EXPECT_GE(list->GetColumnWidth(column), list->GetTextExtent(item.GetText()).GetWidth());
        EXPECT_GE(list->GetColumnWidth(column),
                  list->GetTextExtent(list->GetItemText(1500, column)).GetWidth());
    }
    list->show({list->rows()[0]});
    ASSERT_TRUE(pump_until([&] { return list->columns_fitted(); }));
    pump_events(50);
    EXPECT_EQ(list->GetColumnWidth(0), heading);
    frame->Destroy();
    pump_events(50);
}
