// Entry of suites that need a network of their own (the fake GigE Vision
// camera, the whole program looking for real cameras): the private network
// namespace first, while this is the only thread; then a temporary HOME
// without any camera settings file, and an initialised wxBase.
#include "support/private_network.h"
#include "support/test_home.h"

#include <gtest/gtest.h>
#include <wx/init.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const std::string failure = enter_private_network();
    testing::InitGoogleTest(&argc, argv);
    if (!failure.empty()) std::fprintf(stderr, "%s: tests that need it skip\n", failure.c_str());
    test_home home;
    setenv("HOME", home.path().c_str(), 1);
    unsetenv("JAI_SIM_CONFIG");
    std::setlocale(LC_ALL, "");
    wxInitializer init;
    if (!init.IsOk()) return 1;
    return RUN_ALL_TESTS();
}
