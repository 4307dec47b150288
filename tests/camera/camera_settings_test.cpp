// The camera settings file: simulated and real cameras, and what its absence means.
#include "camera/sdk/camera_settings.h"
#include "support/test_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

bool parse(const std::string& text, camera_settings& settings, std::string& error) {
    std::istringstream in(text);
    return parse_camera_settings(in, settings, error);
}

// Points JAI_SIM_CONFIG at a file of the test's own while it lives.
class settings_file {
  public:
    settings_file() { setenv("JAI_SIM_CONFIG", path_.c_str(), 1); }
    ~settings_file() { unsetenv("JAI_SIM_CONFIG"); }
    void write(const std::string& text) { std::ofstream(path_) << text; }

  private:
    test_home folder_;
    std::string path_ = folder_ / "cameras.conf";
};

}  // namespace

TEST(camera_settings, sections_name_simulated_discovered_and_addressed_cameras) {
    camera_settings s;
    std::string error;
    ASSERT_TRUE(
        parse("[gige]\naddress = 10.0.0.7\n[camera]\nwidth = 640\n[discovery]\n"
              "usb3 = no\n[gige]\naddress=192.168.1.2 # far away\n",
              s, error))
        << error;
    ASSERT_EQ(s.simulated.size(), 1u);
    EXPECT_EQ(s.simulated[0].width, 640);
    EXPECT_TRUE(s.discover_gige);
    EXPECT_FALSE(s.discover_usb3);
    EXPECT_EQ(s.gige_addresses, (std::vector<std::string>{"10.0.0.7", "192.168.1.2"}));

    ASSERT_TRUE(parse("[camera]\n", s, error));
    EXPECT_FALSE(s.discover_gige || s.discover_usb3);  // simulated only
    EXPECT_TRUE(s.gige_addresses.empty());
    ASSERT_TRUE(parse("# nothing at all\n", s, error));
    EXPECT_TRUE(s.simulated.empty());
    EXPECT_FALSE(s.discover_gige || s.discover_usb3);
}

TEST(camera_settings, faults_are_named_with_their_line) {
    const std::pair<const char*, const char*> faults[] = {
        {"[camera]\nwidth = wide\n", "line 2: bad number for width"},
        {"width = 5\n", "line 1: key outside a section"},
        {"[cameras]\n", "line 1: unknown section [cameras]"},
        {"[discovery]\ngige = maybe\n", "line 2: gige takes yes or no"},
        {"[discovery]\nfirewire = yes\n", "line 2: unknown key firewire"},
        {"[gige]\naddress = 10.0.0.300\n", "line 2: bad address 10.0.0.300"},
        {"[gige]\n\n[camera]\n", "line 1: [gige] without an address"},
        {"[camera]\n[gige]\n", "line 2: [gige] without an address"},
        {"[gige]\naddress = 1.2.3.4\naddress = 1.2.3.5\n", "line 3: [gige] with a second address"},
        {"[camera]\njust words\n", "line 2: expected key = value or a section"},
    };
    for (const auto& [text, expected] : faults) {
        camera_settings s;
        std::string error;
        EXPECT_FALSE(parse(text, s, error)) << text;
        EXPECT_EQ(error, expected) << text;
    }
}

TEST(camera_settings, without_the_file_real_cameras_are_looked_for_and_none_simulated) {
    settings_file file;  // named, not written
    camera_settings s = load_camera_settings();
    EXPECT_TRUE(s.simulated.empty());
    EXPECT_TRUE(s.discover_gige);
    EXPECT_TRUE(s.discover_usb3);

    file.write("[camera]\nid = A INT=>FD\n");
    s = load_camera_settings();
    ASSERT_EQ(s.simulated.size(), 1u);
    EXPECT_EQ(s.simulated[0].id, "A INT=>FD");
    EXPECT_FALSE(s.discover_gige || s.discover_usb3);

    file.write("[camera]\nfps = fast\n");  // broken: as if there were none
    s = load_camera_settings();
    EXPECT_TRUE(s.simulated.empty());
    EXPECT_TRUE(s.discover_gige && s.discover_usb3);
}

TEST(camera_settings, the_file_is_named_by_the_variable_or_else_lies_in_home) {
    {
        settings_file file;
        EXPECT_EQ(camera_settings_path().substr(camera_settings_path().size() - 13),
                  "/cameras.conf");
    }
    EXPECT_EQ(camera_settings_path(), std::string(std::getenv("HOME")) + "/.jai_sim.conf");
}
