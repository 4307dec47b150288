// The settings dialog on a real window.
#include "runtime/app_link.h"
#include "runtime/configuration.h"
#include "support/gui_helpers.h"
#include "support/station_setup.h"
#include "support/test_home.h"
#include "app/undercam_options.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/propgrid/propgrid.h>

namespace {

class settings_dialog_test : public testing::Test {
  protected:
    void SetUp() override {
        config_ = open_station_configuration(home_.path());
        window_ = new wxFrame(nullptr, wxID_ANY, "owner");
        link_ = std::make_shared<app_link>(window_, config_.get());
    }
    void TearDown() override {
        link_->detach();
        window_->Destroy();
        pump_events(50);
    }
    test_home home_;
    std::unique_ptr<wxFileConfig> config_;
    wxFrame* window_ = nullptr;
    app_link_ptr link_;
};

}  // namespace

TEST_F(settings_dialog_test, shows_twenty_five_settings_in_nine_categories_in_order) {
    config_->Write(cfg::side, wxString(L"правый"));
    undercam_options dialog(window_, link_);
    std::vector<wxString> categories, keys;
    for (wxPropertyGridIterator it = dialog.grid()->GetIterator(wxPG_ITERATE_ALL); !it.AtEnd();
         ++it) {
        ((*it)->IsCategory() ? categories : keys).push_back((*it)->GetName());
    }
    EXPECT_EQ(categories, (std::vector<wxString>{
                              L"Вагон", L"Камера", L"Изображение", L"Запись", L"ДПП",
                              L"Сервер координат", L"Служба доступа к данным",
                              L"Удаленное управление (требуется перезапуск)", L"Хранилище парка"}));
    EXPECT_EQ(keys, (std::vector<wxString>{cfg::side,
                                           cfg::driver,
                                           cfg::rotate180,
                                           cfg::show_scale,
                                           cfg::scale,
                                           cfg::write_path,
                                           cfg::dpp_port,
                                           cfg::dpp_format,
                                           cfg::coordinate_server_enabled,
                                           cfg::coordinate_server_address,
                                           cfg::coordinate_server_port,
                                           cfg::coordinate_server_query_period,
                                           cfg::data_service_port,
                                           cfg::data_service_max_connections,
                                           cfg::rc_service_enabled,
                                           cfg::rc_service_port,
                                           cfg::fleet_enabled,
                                           cfg::fleet_endpoint,
                                           cfg::fleet_region,
                                           cfg::fleet_bucket,
                                           cfg::fleet_access_key,
                                           cfg::fleet_secret_key,
                                           cfg::fleet_vehicle,
                                           cfg::fleet_max_rate,
                                           cfg::fleet_ca_file}));
    auto* grid = dialog.grid();
    EXPECT_EQ(grid->GetPropertyByName(cfg::side)->GetValueAsString(), L"правый");
    EXPECT_EQ(grid->GetPropertyByName(cfg::driver)->GetValueAsString(), "FilterDriver");
    EXPECT_EQ(grid->GetPropertyByName(cfg::rotate180)->GetValueAsString(), L"Нет");
    EXPECT_EQ(grid->GetPropertyByName(cfg::show_scale)->GetValueAsString(), L"Да");
    EXPECT_EQ(grid->GetPropertyByName(cfg::dpp_format)->GetValueAsString(), L"ДПП7");
    EXPECT_TRUE(grid->GetPropertyByName(cfg::fleet_secret_key)
                    ->GetAttribute(wxPG_STRING_PASSWORD)
                    .GetBool());
    EXPECT_EQ(grid->GetPropertyByName(cfg::fleet_region)->GetValueAsString(), "us-east-1");
    dialog.Show();
    pump_events(300);
    save_screenshot(&dialog, "settings_dialog");
}

TEST_F(settings_dialog_test, ok_writes_all_twenty_five_keys_with_their_forms) {
    {
        undercam_options dialog(window_, link_);
        dialog.grid()->SetPropertyValue(cfg::coordinate_server_query_period, 7L);
        dialog.grid()->SetPropertyValue(cfg::scale, 1.5);
        dialog.write_settings();
    }
    config_->Flush();
    wxFileConfig reread(wxEmptyString, wxEmptyString,
                        configuration_file_name(home_.path()).GetFullPath(), wxEmptyString,
                        wxCONFIG_USE_LOCAL_FILE, wxConvUTF8);
    EXPECT_EQ(reread.GetNumberOfEntries(), 25u);  // every key but exposure_mode
    EXPECT_FALSE(reread.HasEntry(cfg::exposure_mode));
    EXPECT_EQ(reread.Read(cfg::side, ""), L"левый");
    EXPECT_EQ(reread.Read(cfg::driver, ""), "FilterDriver");
    EXPECT_EQ(reread.Read(cfg::dpp_format, ""), L"ДПП7");
    EXPECT_EQ(reread.Read(cfg::coordinate_server_query_period, ""), "7");
    EXPECT_EQ(reread.Read(cfg::coordinate_server_query_period, 0L), 7);
    EXPECT_DOUBLE_EQ(reread.ReadDouble(cfg::scale, 0), 1.5);
    EXPECT_FALSE(reread.ReadBool(cfg::rc_service_enabled, true));
    EXPECT_EQ(reread.Read(cfg::rc_service_port, ""), "12700");
    EXPECT_EQ(reread.Read(cfg::data_service_max_connections, ""), "64");
    EXPECT_FALSE(reread.ReadBool(cfg::fleet_enabled, true));
    EXPECT_EQ(reread.Read(cfg::fleet_max_rate, ""), "0");
}

TEST_F(settings_dialog_test, a_vehicle_name_the_store_cannot_take_is_refused_on_the_dialog) {
    undercam_options dialog(window_, link_);
    dialog.grid()->SetPropertyValue(cfg::fleet_vehicle, wxString(L"вагон 7"));
    wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
    dialog.ProcessWindowEvent(ok);  // stays open: a modal end would fail the test
    EXPECT_NE(dialog.problem().Find(L"Имя вагона"), wxNOT_FOUND);
    EXPECT_FALSE(config_->HasEntry(cfg::fleet_vehicle));  // nothing written
    dialog.grid()->SetPropertyValue(cfg::fleet_vehicle, wxString("train-7"));
    EXPECT_TRUE(dialog.check_settings());
    EXPECT_TRUE(dialog.problem().empty());
}

TEST_F(settings_dialog_test, a_stored_text_outside_the_choices_is_never_written_back) {
    config_->Write(cfg::side, wxString("left"));
    config_->Write(cfg::dpp_format, wxString("garbage"));
    undercam_options dialog(window_, link_);
    EXPECT_EQ(dialog.grid()->GetPropertyByName(cfg::side)->GetValueAsString(), L"левый");
    dialog.write_settings();
    EXPECT_EQ(config_->Read(cfg::side, ""), L"левый");
    EXPECT_EQ(config_->Read(cfg::dpp_format, ""), L"ДПП7");
}
