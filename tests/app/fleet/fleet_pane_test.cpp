// The fleet store on the main window, with no store answering: off, nothing
// of it shows; on, the column, the status field and the menu items show,
// sessions wait in the queue, the journal says once that the store does not
// answer, a relabel leaves the session queued, and no key reaches the
// journal while the settings file is kept private.
#include "app/command_ids.h"
#include "app/main_window_fixture.h"
#include "runtime/text_encoding.h"

#include <wx/statusbr.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

class fleet_pane_test : public main_window_test {
  protected:
    void SetUp() override {
        main_window_test::SetUp();
        folder_ = wxGetHomeDir().ToStdString() + "/fleet-" + std::to_string(count_++);
        std::filesystem::create_directories(folder_);
        database_ = folder_ + "/2024.03.05 14.07.09";
        make_database(database_, {100, 105}, "A : B", "left");
        small_fast_camera();
    }

    void TearDown() override {
        main_window_test::TearDown();
        // The suites after this one share the configuration file.
        configure([](wxConfigBase& config) {
            for (const wxString& key :
                 {cfg::fleet_enabled, cfg::fleet_endpoint, cfg::fleet_bucket, cfg::fleet_access_key,
                  cfg::fleet_secret_key, cfg::fleet_vehicle})
                config.DeleteEntry(key);
        });
    }

    void configure_store(bool enabled) {
        configure([&](wxConfigBase& config) {
            config.Write(cfg::write_path, wxString(folder_));
            config.Write(cfg::coordinate_server_enabled, false);
            config.Write(cfg::fleet_enabled, enabled);
            config.Write(cfg::fleet_endpoint, wxString("http://127.0.0.1:9"));  // refused
            config.Write(cfg::fleet_bucket, wxString("fleet"));
            config.Write(cfg::fleet_access_key, wxString("AKIDFLEETTEST"));
            config.Write(cfg::fleet_secret_key, wxString("s3cr3t-never-shown"));
            config.Write(cfg::fleet_vehicle, wxString("train-7"));
        });
    }

    wxString fleet_cell() { return list()->GetItemText(0, 8); }

    static inline int count_ = 0;
    std::string folder_;
    std::string database_;
};

}  // namespace

TEST_F(fleet_pane_test, off_nothing_of_the_store_shows) {
    configure_store(false);
    open();
    ASSERT_TRUE(pump_until([&] { return list()->GetItemCount() == 1; }));
    EXPECT_EQ(list()->GetColumnCount(), 8);
    EXPECT_EQ(frame_->GetStatusBar()->GetFieldsCount(), 4);
    EXPECT_EQ(frame_->GetMenuBar()->FindItem(id_fleet_upload), nullptr);
    EXPECT_EQ(journal_count(L"хранилищ"), 0u);
}

TEST_F(fleet_pane_test, on_without_an_answering_store_sessions_wait_and_the_journal_says_it_once) {
    configure_store(true);
    open();
    ASSERT_TRUE(pump_until([&] { return list()->GetItemCount() == 1; }));
    EXPECT_EQ(list()->GetColumnCount(), 9);
    wxListItem heading;
    heading.SetMask(wxLIST_MASK_TEXT);
    ASSERT_TRUE(list()->GetColumn(8, heading));
    EXPECT_EQ(heading.GetText(), L"Хранилище");
    EXPECT_EQ(frame_->GetStatusBar()->GetFieldsCount(), 5);
    ASSERT_NE(frame_->GetMenuBar()->FindItem(id_fleet_upload_all), nullptr);
    ASSERT_TRUE(enabled(id_fleet_upload_all));

    command(id_fleet_upload_all);
    ASSERT_TRUE(pump_until([&] { return journal_count(L"Хранилище парка не отвечает") == 1; }))
        << wxString(journal());
    EXPECT_EQ(fleet_cell(), L"в очереди");
    EXPECT_EQ(frame_->GetStatusBar()->GetStatusText(field_fleet), L"Хранилище: нет связи");
    pump_events(3500);  // tries again, after growing pauses, without a row each time
    EXPECT_EQ(journal_count(L"Хранилище парка не отвечает"), 1u);
    EXPECT_EQ(journal_count(L"Выгрузка в хранилище: "), 1u);  // begun once, tried again

    // A relabel lets the upload go, runs, and leaves the session queued.
    list()->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    command(id_replace_side);
    EXPECT_EQ(catalogue::instance().snapshot().at(0).info.side, to_narrow(cfg::side_default));
    EXPECT_EQ(fleet_cell(), L"в очереди");

    EXPECT_EQ(journal().find(L"s3cr3t"), std::wstring::npos);
    EXPECT_EQ(journal().find(L"AKIDFLEETTEST"), std::wstring::npos);
    struct stat st {};
    ASSERT_EQ(::stat(configuration_file_name(wxGetHomeDir()).GetFullPath().fn_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}
