#include "support/fake_gige_camera.h"

#include "camera/sdk/gvcp_discovery.h"
#include "support/private_network.h"
#include "support/wait.h"

#include <arv.h>

#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {
constexpr const char* kProgram = "arv-fake-gv-camera-0.8";

bool installed() {
    return std::system((std::string("command -v ") + kProgram + " >/dev/null 2>&1").c_str()) == 0;
}
}  // namespace

std::string fake_gige_camera::unavailable() {
    if (!private_network_failure().empty()) return private_network_failure();
    if (!installed()) return std::string(kProgram) + " is not installed (Debian aravis-tools)";
    return "";
}

fake_gige_camera::fake_gige_camera(const std::string& serial, int lost_per_thousand)
    : serial_(serial) {
    pid_ = fork();
    if (pid_ == 0) {
        const std::string loss = std::to_string(lost_per_thousand);
        // Its chatter stays out of the test's output.
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        execlp(kProgram, kProgram, "-i", "127.0.0.1", "-s", serial.c_str(), "-r", loss.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid_ < 0 || !wait_until([&] { return answering(); }, std::chrono::seconds(10))) {
        kill();
        throw std::runtime_error("the fake GigE Vision camera does not answer");
    }
}

fake_gige_camera::~fake_gige_camera() {
    kill();
}

bool fake_gige_camera::answering() const {
    return gvcp_discover("127.0.0.1", std::chrono::milliseconds(200)).has_value();
}

void fake_gige_camera::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
}

namespace {

template <typename F>
bool with_control(F&& set) {
    GError* error = nullptr;
    ArvCamera* camera = arv_camera_new("127.0.0.1", &error);
    if (!camera) {
        g_clear_error(&error);
        return false;
    }
    set(arv_camera_get_device(camera), &error);
    const bool ok = error == nullptr;
    g_clear_error(&error);
    g_object_unref(camera);
    return ok;
}

}  // namespace

bool fake_gige_camera::set_integer(const char* feature, int64_t value) {
    return with_control([&](ArvDevice* device, GError** error) {
        arv_device_set_integer_feature_value(device, feature, value, error);
    });
}

bool fake_gige_camera::set_float(const char* feature, double value) {
    return with_control([&](ArvDevice* device, GError** error) {
        arv_device_set_float_feature_value(device, feature, value, error);
    });
}

std::string fake_gige_camera::id() const {
    return "TL=>GevTL , INT=>SD , MAC=>00-00-00-00-00-00 , SN=>" + serial_;
}
