// Test entry: a temporary HOME (never the real one), an initialised wxBase,
// and a camera settings file there with the two default simulated cameras.
#include "support/camera_settings_file.h"
#include "support/test_home.h"

#include <gtest/gtest.h>
#include <wx/init.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    test_home home;
    setenv("HOME", home.path().c_str(), 1);
    unsetenv("JAI_SIM_CONFIG");
    write_simulated_cameras(home.path());
    std::setlocale(LC_ALL, "");
    wxInitializer init;
    if (!init.IsOk()) return 1;
    return RUN_ALL_TESTS();
}
