// Simulated line-scan cameras behind the camera interface.
//
// Each open camera streams the synthetic under-car picture of sim_scene from
// a thread of its own at its frame rate into the buffers queued to it, while
// "AcquisitionStart" is in effect. A frame that finds no queued buffer is
// counted as lost; every corrupt_every-th filled frame is counted as corrupt
// and its buffer queued again, never delivered. Mono10, Mono12 and Mono16
// cameras write the picture's grey values at their own bit depth.
//
// A camera can be unplugged (disconnect): it is no longer listed or opened,
// the cameras open on it fail every call, and their streams fail their sinks,
// as a real camera that lost power does. Thread safety as camera_backend.h
// states.
#pragma once

#include "camera/sdk/camera_backend.h"
#include "camera/sdk/jai_sim.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

class camera_link;

class sim_backend final : public camera_backend {
  public:
    // The cameras the next list() offers; cameras already open keep theirs.
    void set_cameras(std::vector<jai_sim::camera_config> cameras);

    // Unplugs the camera with this ID, or plugs it back in (open cameras stay
    // failed; it has to be opened again).
    void disconnect(const std::string& id);
    void reconnect(const std::string& id);
    void reconnect_all();

    std::vector<camera_entry> list() override;
    // Opens a camera that any earlier list() gave, as it was listed last.
    J_STATUS_TYPE open(const std::string& id, std::unique_ptr<camera_device>& device) override;

  private:
    std::mutex mutex_;
    std::vector<jai_sim::camera_config> cameras_;          // guarded by mutex_
    std::map<std::string, jai_sim::camera_config> known_;  // guarded by mutex_
    std::set<std::string> unplugged_;                      // guarded by mutex_
    // Every camera opened so far, by ID; guarded by mutex_.
    std::vector<std::pair<std::string, std::weak_ptr<camera_link>>> opened_;
};
