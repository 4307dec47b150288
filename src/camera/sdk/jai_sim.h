// Control of the camera simulator, one of the cameras behind the camera SDK.
//
// Which cameras the SDK offers is the camera settings file's choice
// (camera_settings.h): simulated cameras, real ones, or both; without the
// file, real cameras only. Tests replace that choice in process with
// set_cameras(), which offers the given simulated cameras and nothing else
// (no discovery of real cameras), unplug simulated cameras with disconnect(),
// and inject failures of single calls with fail_call().
//
// All functions are safe to call from any thread.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace jai_sim {

// The picture a simulated camera shows (sim_scene.h): a structured track that
// compresses like a camera's frames, or the older white-noise ballast.
enum class scene_kind { track, noise };

struct camera_config {
    std::string id;     // must contain "INT=>FD" or "INT=>SD" to name a driver
    std::string model;  // info code 2
    std::string ip;     // info code 1001
    int64_t width = 2048;
    int64_t height = 1024;
    int64_t pixel_format = 0x01080001;  // Mono8; Mono10, Mono12, Mono16 at their own depth
    double fps = 10.0;                  // 0: the camera delivers nothing
    uint32_t corrupt_every = 0;         // every n-th filled frame is corrupt, not delivered
    scene_kind scene = scene_kind::track;
};

// Two 2048 x 1024 Mono8 cameras at 10 frames a second, one on each driver:
// the demo's and the tests' cameras.
std::vector<camera_config> default_cameras();

// Parses settings text into its simulated cameras; on failure returns false
// and describes the fault.
bool parse_settings(std::istream& in, std::vector<camera_config>& cameras, std::string& error);

// The simulated cameras seen by the next J_Factory_UpdateCameraList, and no
// real camera. Open cameras keep theirs.
void set_cameras(std::vector<camera_config> cameras);

// Unplugs the simulated camera with this ID: it is no longer listed or
// opened, every call on a handle of it fails, and a wait on its stream
// answers J_COND_WAIT_ERROR. reconnect() plugs it back in; it is opened anew.
void disconnect(const std::string& id);
void reconnect(const std::string& id);

// Back to the settings file, every camera plugged in, no injected failures.
void reset();

// Makes the named SDK call (e.g. "J_Camera_Open") fail `times` times after
// `skip` successful calls; times < 0 makes it fail for good.
void fail_call(const std::string& call, int skip = 0, int times = 1);

// The next `times` waits on any condition answer `result` at once.
void force_wait_result(int32_t result, int times = 1);

// Live objects, for leak checks.
int open_cameras();
int open_streams();
int announced_buffers();

// Number of the frame drawn into a synthetic 8-bit image as a bar code that
// survives JPEG; -1 if none is found. rotated: look for it turned by 180 degrees.
int64_t read_frame_number(const uint8_t* pixels, uint32_t width, uint32_t height,
                          bool rotated = false);

}  // namespace jai_sim
