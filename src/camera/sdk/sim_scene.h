// The simulated camera's picture: a view from under a car, scrolling by as
// the vehicle moves. Each frame carries its number as a bar code that
// survives JPEG (jai_sim::read_frame_number reads it back), and the same
// number always gives the same picture.
//
// Two scenes (jai_sim::scene_kind):
//  track: rails, sleepers with their fastenings, and ballast of shaded
//         stones of many sizes with soft edges, a little motion blur and a
//         few grey levels of noise; it compresses as a camera's frames do.
//  noise: the older picture whose ballast is white noise of +-25 grey levels,
//         kept so that figures measured on it can be had again.
// The strip the frames scroll through is drawn once per size and scene and
// shared by every camera of the process; a frame is then a copy out of it.
// Immutable once built; any thread may draw.
#pragma once

#include "camera/sdk/jai_sim.h"

#include <cstdint>
#include <memory>
#include <vector>

class sim_scene {
  public:
    sim_scene(uint32_t width, uint32_t height,
              jai_sim::scene_kind kind = jai_sim::scene_kind::track);

    // Writes frame n as 8-bit grey into `gray` (width * height bytes).
    void draw(uint64_t n, uint8_t* gray) const;

  private:
    // A strip of `period` distinct lines followed by its first `height`
    // lines again, so that any window of `height` lines is one copy.
    struct strip {
        uint32_t period = 0;
        uint32_t step = 0;  // lines the vehicle moves between two frames
        std::vector<uint8_t> lines;
    };
    static std::shared_ptr<const strip> shared_strip(uint32_t width, uint32_t height,
                                                     jai_sim::scene_kind kind);
    static strip draw_track(uint32_t width, uint32_t height);
    static strip draw_noise(uint32_t width, uint32_t height);

    uint32_t width_, height_;
    std::shared_ptr<const strip> strip_;
};
