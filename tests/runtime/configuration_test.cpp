// Configuration file location, folder creation and value round trips.
#include "runtime/configuration.h"
#include "support/test_home.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/utils.h>

TEST(configuration, lives_in_dunmere_config_of_the_home_folder) {
    const wxFileName name = configuration_file_name("/home/op");
    EXPECT_EQ(name.GetFullPath(), "/home/op/Dunmere/config/.undercam");
}

TEST(configuration, folder_is_created_with_its_parents) {
    test_home home;
    const wxFileName name = configuration_file_name(home.path());
    EXPECT_FALSE(name.DirExists());
    EXPECT_TRUE(make_configuration_folder(name));
    EXPECT_TRUE(name.DirExists());
    EXPECT_TRUE(make_configuration_folder(name));  // already there
}

TEST(configuration, folder_that_cannot_be_created_is_reported) {
    test_home home;
    // A file where the folder should be.
    wxFile blocker;
    ASSERT_TRUE(blocker.Create(home / "Dunmere"));
    EXPECT_FALSE(make_configuration_folder(configuration_file_name(home.path())));
}

TEST(configuration, missing_file_gives_every_default) {
    test_home home;
    auto config = open_configuration(configuration_file_name(home.path()));
    EXPECT_EQ(config->Read(cfg::side, cfg::side_default), L"левый");
    EXPECT_EQ(config->Read(cfg::dpp_format, cfg::dpp_format_default), L"ДПП7");
    EXPECT_EQ(config->Read(cfg::coordinate_server_query_period,
                           cfg::coordinate_server_query_period_default),
              5);
    EXPECT_DOUBLE_EQ(config->ReadDouble(cfg::scale, cfg::scale_default), 0.8);
    EXPECT_FALSE(config->ReadBool(cfg::rc_service_enabled, cfg::rc_service_enabled_default));
    EXPECT_TRUE(config->ReadBool(cfg::show_scale, cfg::show_scale_default));
    EXPECT_EQ(config->Read(cfg::write_path, cfg::write_path_default()), wxGetUserHome());
    EXPECT_FALSE(config->HasEntry(cfg::side));
}

TEST(configuration, values_survive_a_new_object_on_the_same_file) {
    test_home home;
    const wxFileName name = configuration_file_name(home.path());
    ASSERT_TRUE(make_configuration_folder(name));
    {
        auto config = open_configuration(name);
        config->Write(cfg::side, wxString(L"правый"));
        config->Write(cfg::rotate180, true);
        config->Write(cfg::scale, 1.25);
        config->Write(cfg::coordinate_server_query_period, wxString("7"));
    }  // deleting the object writes the file
    auto config = open_configuration(name);
    EXPECT_EQ(config->Read(cfg::side, cfg::side_default), L"правый");
    EXPECT_TRUE(config->ReadBool(cfg::rotate180, false));
    EXPECT_DOUBLE_EQ(config->ReadDouble(cfg::scale, 0.0), 1.25);
    EXPECT_EQ(config->Read(cfg::coordinate_server_query_period, 5L), 7);
    // The file is UTF-8 whatever the locale.
    wxFile file(name.GetFullPath());
    wxString text;
    ASSERT_TRUE(file.ReadAll(&text, wxConvUTF8));
    EXPECT_NE(text.Find(L"side=правый"), wxNOT_FOUND);
}

TEST(configuration, a_file_holding_a_secret_is_readable_by_its_owner_only) {
    test_home home;
    const wxFileName file = configuration_file_name(home.path());
    ASSERT_TRUE(make_configuration_folder(file));
    auto config = open_configuration(file);
    config->Write(cfg::side, wxString("x"));
    config->Flush();
    protect_secrets(*config, file);  // no secret: left as the umask made it
    struct stat st {};
    ASSERT_EQ(::stat(file.GetFullPath().fn_str(), &st), 0);
    const mode_t before = st.st_mode & 0777;
    config->Write(cfg::fleet_secret_key, wxString("s3cr3t"));
    protect_secrets(*config, file);
    config->Flush();
    ASSERT_EQ(::stat(file.GetFullPath().fn_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << std::oct << before;
    config->Write(cfg::side, wxString("y"));  // written again, still private
    config->Flush();
    ASSERT_EQ(::stat(file.GetFullPath().fn_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}
