// Real cameras through Aravis, the open GenICam library: GigE Vision cameras
// found by discovery on every network interface or asked for at a fixed
// address, and USB3 Vision cameras.
//
// IDs name the transport and the socket driver and stay the same for the same
// camera: "TL=>GevTL , INT=>SD , MAC=>00-11-22-33-44-55 , SN=>serial" for
// GigE Vision, "TL=>U3VTL , INT=>SD , DEV=>aravis-device-id" for USB3 Vision.
// list() gives them sorted. Info code 2 is the model, 1001 the IP address (or
// the USB device's address).
//
// A GigE Vision stream negotiates its packet size with the camera when it is
// created, asks for a socket buffer that holds a frame, and requests resends
// of missing packets. Frames that still arrive incomplete are counted as
// corrupt and queued again, never delivered. When Aravis reports that the
// camera stopped answering (its heartbeat), every stream of the camera fails
// its sink and every later device call fails at once; the Aravis objects of
// such a camera are released on a thread of their own, since Aravis waits
// for a dead camera's time-outs while releasing them.
//
// Thread safety as camera_backend.h states.
#pragma once

#include "camera/sdk/camera_backend.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class arv_backend final : public camera_backend {
  public:
    struct options {
        bool discover_gige = false;  // broadcast discovery on every network interface
        bool discover_usb3 = false;
        std::vector<std::string> gige_addresses;  // cameras asked for by IP address
    };
    void configure(const options& options);

    std::vector<camera_entry> list() override;
    // Opens a camera that any earlier list() gave.
    J_STATUS_TYPE open(const std::string& id, std::unique_ptr<camera_device>& device) override;

    // "Aravis 0.8.26"
    static std::string version();

  private:
    std::vector<camera_entry> list_locked(const options& wanted);

    // Never held while Aravis works, so configuring never waits for a listing.
    std::mutex options_mutex_;
    options options_;          // guarded by options_mutex_
    uint64_t generation_ = 1;  // guarded by options_mutex_; counts configure() calls

    std::mutex mutex_;  // also keeps Aravis's interfaces to one caller at a time
    // State below is protected by mutex_.
    std::vector<camera_entry> listed_;
    std::chrono::steady_clock::time_point listed_at_;
    uint64_t listed_generation_ = 0;            // the options listed_ was made with
    std::map<std::string, std::string> names_;  // ID -> what Aravis opens it by
};
