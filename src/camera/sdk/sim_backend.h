// Simulated line-scan cameras behind the camera interface.
//
// Each open camera streams the synthetic under-car picture of sim_scene from
// a thread of its own at its frame rate into the buffers queued to it, while
// "AcquisitionStart" is in effect; a frame that finds no queued buffer is
// counted as lost, and every corrupt_every-th filled frame as corrupt.
// Thread safety as camera_backend.h states.
#pragma once

#include "camera/sdk/camera_backend.h"
#include "camera/sdk/jai_sim.h"

#include <mutex>
#include <vector>

class sim_backend final : public camera_backend {
  public:
    // The cameras the next list() offers; cameras already open keep theirs.
    void set_cameras(std::vector<jai_sim::camera_config> cameras);

    std::vector<camera_entry> list() override;
    // Opens a camera of the last list().
    J_STATUS_TYPE open(const std::string& id, std::unique_ptr<camera_device>& device) override;

  private:
    std::mutex mutex_;
    std::vector<jai_sim::camera_config> cameras_;  // guarded by mutex_
    std::vector<jai_sim::camera_config> listed_;   // guarded by mutex_
};
