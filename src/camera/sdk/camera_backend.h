// The kinds of camera behind the camera SDK's C interface.
//
// jai_factory.cpp answers every C call of Jai_Factory.h. It owns the handles it
// gives out and all bookkeeping that is the same for every camera kind: which
// buffers are announced and where each one is, the queue of delivered
// buffers, wait conditions and events, the counts it can keep itself. A
// backend only lists its cameras, opens one, and fills the buffers it is given.
//
// Locks. The routing file keeps one lock of its own. It calls
// camera_stream::announce, revoke, queue and counters while holding it, so
// these return at once and never wait for a delivery in progress. It calls
// everything else (listing, opening, device calls, stream start, stop and
// flush, and every destructor) without it, since these may wait for the
// camera or for a delivery thread. A backend calls its frame_sink with none
// of its own locks held; the sink takes the routing file's lock. So a stop
// that joins a delivery thread never waits on a lock that thread needs.
#pragma once

#include "camera/sdk/Jai_Factory.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One camera as a backend lists it.
struct camera_entry {
    std::string id;       // unique among all backends; names the driver ("INT=>SD")
    std::string model;    // info code 2
    std::string address;  // info code 1001
};

// What a backend knows of a frame it has filled.
struct frame_info {
    uint64_t timestamp = 0;  // camera clock
    uint64_t frame_id = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t pixel_format = 0;
    uint32_t image_size = 0;  // bytes of pixels written into the buffer
};

// Where a stream hands its filled buffers; provided by the routing file and
// shared with the stream, so it stays valid as long as the stream holds it.
// Any thread may call it.
class frame_sink {
  public:
    virtual ~frame_sink() = default;
    // A complete frame lies in the buffer queued as `key`.
    virtual void deliver(BUF_HANDLE key, const frame_info& info) = 0;
    // The camera no longer answers: waits on this stream report an error.
    virtual void fail() = 0;
};

// A data stream of an open camera. Buffers are the caller's memory, named by
// the key the routing file gave them; the stream fills them in place.
class camera_stream {
  public:
    // Stops delivering first if still running.
    virtual ~camera_stream() = default;

    // Routing lock held; these return at once.
    virtual J_STATUS_TYPE announce(BUF_HANDLE key, uint8_t* memory, uint32_t size) = 0;
    // J_ST_ACCESS_DENIED while the stream is filling or holding the buffer.
    virtual J_STATUS_TYPE revoke(BUF_HANDLE key) = 0;
    // Gives an announced buffer to be filled.
    virtual J_STATUS_TYPE queue(BUF_HANDLE key) = 0;
    struct counts {
        uint64_t lost = 0;     // frames that found no queued buffer or never arrived
        uint64_t corrupt = 0;  // frames that arrived incomplete
    };
    virtual counts counters() = 0;

    // Routing lock not held.
    virtual J_STATUS_TYPE start() = 0;
    // Returns once no delivery is in progress and none will follow; queued
    // buffers stay queued for a later start.
    virtual void stop() = 0;
    // Gives back every queued buffer not yet filled.
    virtual std::vector<BUF_HANDLE> flush() = 0;
};

// An open camera. Its calls may wait for the camera; routing lock not held.
class camera_device {
  public:
    // Closes the camera; a stream it created stays usable until destroyed,
    // but delivers nothing more.
    virtual ~camera_device() = default;
    virtual J_STATUS_TYPE get_int64(const char* name, int64_t& value) = 0;
    virtual J_STATUS_TYPE set_string(const char* name, const char* value) = 0;
    virtual J_STATUS_TYPE execute(const char* name) = 0;
    virtual uint32_t stream_count() = 0;
    virtual J_STATUS_TYPE create_stream(uint32_t index, std::shared_ptr<frame_sink> sink,
                                        std::unique_ptr<camera_stream>& stream) = 0;
};

// One kind of camera. Lives as long as the process; called without the
// routing lock, from any thread.
class camera_backend {
  public:
    virtual ~camera_backend() = default;
    virtual std::vector<camera_entry> list() = 0;
    // Opens a camera by an ID that an earlier list() gave.
    virtual J_STATUS_TYPE open(const std::string& id, std::unique_ptr<camera_device>& device) = 0;
};
