// The simulated camera's picture: a view from under a car, with rails,
// sleepers and ballast scrolling by as the vehicle moves. Each frame carries
// its number as a bar code that survives JPEG (jai_sim::read_frame_number
// reads it back). Immutable once built; any thread may draw.
#pragma once

#include <cstdint>
#include <vector>

class sim_scene {
  public:
    sim_scene(uint32_t width, uint32_t height);

    // Writes frame n as 8-bit grey into `gray` (width * height bytes).
    void draw(uint64_t n, uint8_t* gray) const;

  private:
    static constexpr uint32_t kPeriod = 180;  // lines between two sleepers
    uint32_t width_, height_;
    std::vector<uint8_t> texture_;  // (height + kPeriod) lines, scrolled through
};
