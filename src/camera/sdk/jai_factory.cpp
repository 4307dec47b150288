// The camera SDK's C calls, routed to the camera backends.
//
// This file owns every handle the C interface gives out and the bookkeeping
// that is the same for every camera kind. g_mutex guards all of it. Backends
// are called as camera_backend.h states: device calls, listing, opening and a
// stream's start, stop, flush and destruction run with g_mutex released, so a
// delivery thread waiting for g_mutex in its sink never blocks a stop that
// joins it. Objects a call uses while unlocked are held by shared pointer.
#include "camera/sdk/Jai_Factory.h"

#include "camera/sdk/arv_backend.h"
#include "camera/sdk/camera_backend.h"
#include "camera/sdk/camera_settings.h"
#include "camera/sdk/jai_sim.h"
#include "camera/sdk/pixel_format.h"
#include "camera/sdk/sim_backend.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace {

struct listed_camera {
    camera_entry entry;
    camera_backend* backend;
};

}  // namespace

struct j_factory {
    std::vector<listed_camera> cameras;  // as of the last list update
};

struct j_stream;

struct j_camera {
    std::string id;
    std::shared_ptr<camera_device> device;
    j_stream* stream = nullptr;
};

struct j_buffer {
    uint8_t* memory = nullptr;
    uint32_t size = 0;
    void* private_data = nullptr;
    // idle: with the caller; queued: with the backend; output: filled, awaiting
    // J_Event_GetData; delivered: handed to the caller by J_Event_GetData.
    enum { idle, queued, output, delivered } state = idle;
    frame_info info;
};

struct j_condition;

struct j_event {
    j_stream* stream = nullptr;
    j_condition* condition = nullptr;
};

struct j_condition {
    std::condition_variable cv;
    std::set<j_event*> events;
    bool exit_pending = false;
};

namespace {

// Takes a backend's frames into its stream. The backend shares it, so it may
// outlive the stream; it then drops what it is given.
struct stream_sink final : frame_sink {
    j_stream* stream = nullptr;  // guarded by g_mutex; null once the stream is closed
    void deliver(BUF_HANDLE key, const frame_info& info) override;
    void fail() override;
};

}  // namespace

struct j_stream {
    j_camera* camera = nullptr;  // null once the camera is closed
    std::shared_ptr<camera_stream> backend;
    std::shared_ptr<stream_sink> sink = std::make_shared<stream_sink>();
    std::set<j_buffer*> buffers;
    std::deque<j_buffer*> output;  // filled, awaiting delivery
    j_event* event = nullptr;
    bool running = false;
    bool failed = false;  // the camera stopped answering
    uint64_t delivered = 0;
};

namespace {

std::mutex g_mutex;
// State below is protected by g_mutex.
bool g_settings_loaded = false;
std::set<j_factory*> g_factories;
std::set<j_camera*> g_open_cameras;
std::set<j_stream*> g_streams;
std::set<j_condition*> g_conditions;
std::set<j_event*> g_events;
struct failure {
    int skip;
    int times;
};
std::map<std::string, failure> g_failures;
int32_t g_forced_wait_result = 0;
int g_forced_wait_times = 0;

// Backends live as long as the process: open cameras may outlive any reset.
sim_backend& simulator() {
    static sim_backend* backend = new sim_backend;
    return *backend;
}

arv_backend& aravis() {
    static arv_backend* backend = new arv_backend;
    return *backend;
}

// Must hold g_mutex. The backends in listing order, configured from the
// settings file, which is read once until reset.
std::vector<camera_backend*> backends_locked() {
    if (!g_settings_loaded) {
        const camera_settings settings = load_camera_settings();
        simulator().set_cameras(settings.simulated);
        aravis().configure(arv_backend::options{settings.discover_gige, settings.discover_usb3,
                                                settings.gige_addresses});
        g_settings_loaded = true;
    }
    return {&simulator(), &aravis()};
}

// Must hold g_mutex. True when an injected failure applies to this call.
bool injected(const char* call) {
    auto it = g_failures.find(call);
    if (it == g_failures.end()) {
        return false;
    }
    if (it->second.skip > 0) {
        --it->second.skip;
        return false;
    }
    if (it->second.times == 0) {
        return false;
    }
    if (it->second.times > 0) {
        --it->second.times;
    }
    return true;
}

#define ROUTE_ENTER(call)                       \
    std::unique_lock<std::mutex> lock(g_mutex); \
    if (injected(call)) return J_ST_ERROR

J_STATUS_TYPE put_text(const std::string& text, char* buffer, uint32_t* size) {
    if (!buffer || !size) {
        return J_ST_INVALID_PARAMETER;
    }
    const uint32_t needed = static_cast<uint32_t>(text.size() + 1);
    if (*size < needed) {
        *size = needed;
        return J_ST_INVALID_BUFFER_SIZE;
    }
    std::memcpy(buffer, text.c_str(), needed);
    *size = needed;
    return J_ST_SUCCESS;
}

template <typename T>
J_STATUS_TYPE put_value(T value, void* out, uint32_t* size) {
    if (!out || !size || *size < sizeof(T)) {
        return J_ST_INVALID_BUFFER_SIZE;
    }
    std::memcpy(out, &value, sizeof(T));
    *size = sizeof(T);
    return J_ST_SUCCESS;
}

// Must hold g_mutex.
void wake(j_stream* stream) {
    if (stream->event && stream->event->condition) stream->event->condition->cv.notify_all();
}

void stream_sink::deliver(BUF_HANDLE key, const frame_info& info) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!stream || !stream->buffers.count(key) || key->state != j_buffer::queued) return;
    key->info = info;
    key->state = j_buffer::output;
    stream->output.push_back(key);
    ++stream->delivered;
    wake(stream);
}

void stream_sink::fail() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!stream) return;
    stream->failed = true;
    wake(stream);
}

// Must hold g_mutex: the event no longer links its stream and its condition.
void unlink_event(j_event* event) {
    if (event->condition) event->condition->events.erase(event);
    if (event->stream) event->stream->event = nullptr;
    event->condition = nullptr;
    event->stream = nullptr;
}

}  // namespace

namespace jai_sim {

void set_cameras(std::vector<camera_config> cameras) {
    std::lock_guard<std::mutex> lock(g_mutex);
    simulator().set_cameras(std::move(cameras));
    aravis().configure(arv_backend::options{});  // these cameras and nothing else
    g_settings_loaded = true;
}

void disconnect(const std::string& id) {
    simulator().disconnect(id);
}

void reconnect(const std::string& id) {
    simulator().reconnect(id);
}

void reset() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_settings_loaded = false;
    g_failures.clear();
    g_forced_wait_times = 0;
    simulator().reconnect_all();
}

void fail_call(const std::string& call, int skip, int times) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_failures[call] = failure{skip, times};
}

void force_wait_result(int32_t result, int times) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_forced_wait_result = result;
    g_forced_wait_times = times;
}

int open_cameras() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return int(g_open_cameras.size());
}

int open_streams() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return int(g_streams.size());
}

int announced_buffers() {
    std::lock_guard<std::mutex> lock(g_mutex);
    size_t n = 0;
    for (auto* s : g_streams)
        n += s->buffers.size();
    return int(n);
}

}  // namespace jai_sim

extern "C" {

J_STATUS_TYPE J_Factory_Open(const char*, FACTORY_HANDLE* factory) {
    ROUTE_ENTER("J_Factory_Open");
    if (!factory) return J_ST_INVALID_PARAMETER;
    auto* f = new j_factory;
    g_factories.insert(f);
    *factory = f;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Factory_Close(FACTORY_HANDLE factory) {
    ROUTE_ENTER("J_Factory_Close");
    if (!g_factories.erase(factory)) return J_ST_INVALID_HANDLE;
    delete factory;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Factory_GetInfo(int32_t info, char* buffer, uint32_t* size) {
    ROUTE_ENTER("J_Factory_GetInfo");
    if (info != FAC_INFO_VERSION) return J_ST_INVALID_PARAMETER;
    return put_text("undercam camera interface 2.0 (simulator, " + arv_backend::version() + ")",
                    buffer, size);
}

J_STATUS_TYPE J_Factory_UpdateCameraList(FACTORY_HANDLE factory, bool8_t* changed) {
    ROUTE_ENTER("J_Factory_UpdateCameraList");
    if (!g_factories.count(factory)) return J_ST_INVALID_HANDLE;
    const std::vector<camera_backend*> backends = backends_locked();
    lock.unlock();
    std::vector<listed_camera> cameras;
    for (camera_backend* backend : backends) {
        for (auto& entry : backend->list()) {
            cameras.push_back(listed_camera{std::move(entry), backend});
        }
    }
    lock.lock();
    if (!g_factories.count(factory)) return J_ST_INVALID_HANDLE;
    const bool differs = factory->cameras.size() != cameras.size() ||
                         !std::equal(cameras.begin(), cameras.end(), factory->cameras.begin(),
                                     [](auto& a, auto& b) { return a.entry.id == b.entry.id; });
    factory->cameras = std::move(cameras);
    if (changed) *changed = differs ? 1 : 0;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Factory_GetNumOfCameras(FACTORY_HANDLE factory, uint32_t* count) {
    ROUTE_ENTER("J_Factory_GetNumOfCameras");
    if (!g_factories.count(factory)) return J_ST_INVALID_HANDLE;
    if (!count) return J_ST_INVALID_PARAMETER;
    *count = uint32_t(factory->cameras.size());
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Factory_GetCameraIDByIndex(FACTORY_HANDLE factory, int32_t index, char* buffer,
                                           uint32_t* size) {
    ROUTE_ENTER("J_Factory_GetCameraIDByIndex");
    if (!g_factories.count(factory)) return J_ST_INVALID_HANDLE;
    if (index < 0 || size_t(index) >= factory->cameras.size()) return J_ST_INVALID_PARAMETER;
    return put_text(factory->cameras[index].entry.id, buffer, size);
}

J_STATUS_TYPE J_Factory_GetCameraInfo(FACTORY_HANDLE factory, const char* camera_id, int32_t info,
                                      char* buffer, uint32_t* size) {
    ROUTE_ENTER("J_Factory_GetCameraInfo");
    if (!g_factories.count(factory)) return J_ST_INVALID_HANDLE;
    if (!camera_id) return J_ST_INVALID_PARAMETER;
    for (const auto& c : factory->cameras) {
        if (c.entry.id == camera_id) {
            if (info == CAM_INFO_MODELNAME) return put_text(c.entry.model, buffer, size);
            if (info == CAM_INFO_IP) return put_text(c.entry.address, buffer, size);
            return J_ST_INVALID_PARAMETER;
        }
    }
    return J_ST_INVALID_ID;
}

J_STATUS_TYPE J_Camera_Open(FACTORY_HANDLE factory, const char* camera_id, CAM_HANDLE* camera,
                            int32_t) {
    ROUTE_ENTER("J_Camera_Open");
    if (!g_factories.count(factory)) return J_ST_INVALID_HANDLE;
    if (!camera_id || !camera) return J_ST_INVALID_PARAMETER;
    const std::string id = camera_id;
    auto is_open = [&] {
        return std::any_of(g_open_cameras.begin(), g_open_cameras.end(),
                           [&](j_camera* open) { return open->id == id; });
    };
    auto listed = std::find_if(factory->cameras.begin(), factory->cameras.end(),
                               [&](const listed_camera& c) { return c.entry.id == id; });
    if (listed == factory->cameras.end()) return J_ST_INVALID_ID;
    if (is_open()) return J_ST_ACCESS_DENIED;  // one controller only
    camera_backend* backend = listed->backend;
    lock.unlock();
    std::unique_ptr<camera_device> device;
    const J_STATUS_TYPE status = backend->open(id, device);
    if (status != J_ST_SUCCESS || !device) return status != J_ST_SUCCESS ? status : J_ST_ERROR;
    lock.lock();
    if (is_open()) {  // opened meanwhile by another thread
        lock.unlock();
        return J_ST_ACCESS_DENIED;
    }
    auto* cam = new j_camera;
    cam->id = id;
    cam->device = std::move(device);
    g_open_cameras.insert(cam);
    *camera = cam;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Camera_Close(CAM_HANDLE camera) {
    ROUTE_ENTER("J_Camera_Close");
    if (!g_open_cameras.count(camera)) return J_ST_INVALID_HANDLE;
    // A stream left open stops delivering before its camera goes.
    std::shared_ptr<camera_stream> stream;
    if (j_stream* s = camera->stream) {
        stream = s->backend;
        s->running = false;
        s->camera = nullptr;
    }
    std::shared_ptr<camera_device> device = std::move(camera->device);
    g_open_cameras.erase(camera);
    delete camera;
    lock.unlock();
    if (stream) stream->stop();
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Camera_GetValueInt64(CAM_HANDLE camera, const char* name, int64_t* value) {
    ROUTE_ENTER("J_Camera_GetValueInt64");
    if (!g_open_cameras.count(camera)) return J_ST_INVALID_HANDLE;
    if (!name || !value) return J_ST_INVALID_PARAMETER;
    const std::shared_ptr<camera_device> device = camera->device;
    lock.unlock();
    return device->get_int64(name, *value);
}

J_STATUS_TYPE J_Camera_SetValueString(CAM_HANDLE camera, const char* name, const char* value) {
    ROUTE_ENTER("J_Camera_SetValueString");
    if (!g_open_cameras.count(camera)) return J_ST_INVALID_HANDLE;
    if (!name || !value) return J_ST_INVALID_PARAMETER;
    const std::shared_ptr<camera_device> device = camera->device;
    lock.unlock();
    return device->set_string(name, value);
}

J_STATUS_TYPE J_Camera_ExecuteCommand(CAM_HANDLE camera, const char* name) {
    ROUTE_ENTER("J_Camera_ExecuteCommand");
    if (!g_open_cameras.count(camera)) return J_ST_INVALID_HANDLE;
    if (!name) return J_ST_INVALID_PARAMETER;
    const std::shared_ptr<camera_device> device = camera->device;
    lock.unlock();
    return device->execute(name);
}

J_STATUS_TYPE J_Camera_GetNumOfDataStreams(CAM_HANDLE camera, uint32_t* count) {
    ROUTE_ENTER("J_Camera_GetNumOfDataStreams");
    if (!g_open_cameras.count(camera)) return J_ST_INVALID_HANDLE;
    if (!count) return J_ST_INVALID_PARAMETER;
    const std::shared_ptr<camera_device> device = camera->device;
    lock.unlock();
    *count = device->stream_count();
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Camera_CreateDataStream(CAM_HANDLE camera, uint32_t index, STREAM_HANDLE* stream) {
    ROUTE_ENTER("J_Camera_CreateDataStream");
    if (!g_open_cameras.count(camera)) return J_ST_INVALID_HANDLE;
    if (!stream) return J_ST_INVALID_PARAMETER;
    if (camera->stream) return J_ST_ACCESS_DENIED;
    // The camera's stream slot is taken while the backend makes its stream.
    auto* s = new j_stream;
    s->camera = camera;
    s->sink->stream = s;
    camera->stream = s;
    std::shared_ptr<camera_device> device = camera->device;
    lock.unlock();
    std::unique_ptr<camera_stream> made;
    const J_STATUS_TYPE status = device->create_stream(index, s->sink, made);
    device.reset();
    lock.lock();
    const bool camera_kept = g_open_cameras.count(camera) && camera->stream == s;
    if (status != J_ST_SUCCESS || !made || !camera_kept) {
        if (camera_kept) camera->stream = nullptr;
        s->sink->stream = nullptr;
        delete s;
        lock.unlock();
        made.reset();
        return status != J_ST_SUCCESS ? status : J_ST_INVALID_HANDLE;
    }
    s->backend = std::move(made);
    g_streams.insert(s);
    *stream = s;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_SetParam(STREAM_HANDLE stream, int32_t, const void* value,
                                    uint32_t size) {
    ROUTE_ENTER("J_DataStream_SetParam");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    if (!value || size != 8) return J_ST_INVALID_BUFFER_SIZE;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_AnnounceBuffer(STREAM_HANDLE stream, void* memory, uint32_t size,
                                          void* private_data, BUF_HANDLE* buffer) {
    ROUTE_ENTER("J_DataStream_AnnounceBuffer");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    if (!memory || !buffer || size == 0) return J_ST_INVALID_PARAMETER;
    auto b = std::make_unique<j_buffer>();
    b->memory = static_cast<uint8_t*>(memory);
    b->size = size;
    b->private_data = private_data;
    const J_STATUS_TYPE status = stream->backend->announce(b.get(), b->memory, size);
    if (status != J_ST_SUCCESS) return status;
    *buffer = b.get();
    stream->buffers.insert(b.release());
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_QueueBuffer(STREAM_HANDLE stream, BUF_HANDLE buffer) {
    ROUTE_ENTER("J_DataStream_QueueBuffer");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    if (!stream->buffers.count(buffer)) return J_ST_INVALID_HANDLE;
    if (buffer->state == j_buffer::queued || buffer->state == j_buffer::output) {
        return J_ST_ACCESS_DENIED;
    }
    const J_STATUS_TYPE status = stream->backend->queue(buffer);
    if (status != J_ST_SUCCESS) return status;
    buffer->state = j_buffer::queued;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_RegisterEvent(STREAM_HANDLE stream, int32_t event_type,
                                         J_COND_HANDLE condition, EVT_HANDLE* event) {
    ROUTE_ENTER("J_DataStream_RegisterEvent");
    if (!g_streams.count(stream) || !g_conditions.count(condition)) return J_ST_INVALID_HANDLE;
    if (event_type != EVENT_NEW_BUFFER || !event) return J_ST_INVALID_PARAMETER;
    if (stream->event) return J_ST_ACCESS_DENIED;
    auto* e = new j_event;
    e->stream = stream;
    e->condition = condition;
    condition->events.insert(e);
    stream->event = e;
    g_events.insert(e);
    *event = e;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_UnRegisterEvent(STREAM_HANDLE stream, int32_t event_type) {
    ROUTE_ENTER("J_DataStream_UnRegisterEvent");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    if (event_type != EVENT_NEW_BUFFER || !stream->event) return J_ST_INVALID_PARAMETER;
    unlink_event(stream->event);
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_StartAcquisition(STREAM_HANDLE stream, int32_t, uint64_t) {
    ROUTE_ENTER("J_DataStream_StartAcquisition");
    if (!g_streams.count(stream) || !stream->camera) return J_ST_INVALID_HANDLE;
    if (stream->running) return J_ST_ACCESS_DENIED;
    stream->running = true;
    std::shared_ptr<camera_stream> backend = stream->backend;
    lock.unlock();
    const J_STATUS_TYPE status = backend->start();
    backend.reset();
    if (status != J_ST_SUCCESS) {
        lock.lock();
        if (g_streams.count(stream)) stream->running = false;
    }
    return status;
}

J_STATUS_TYPE J_DataStream_StopAcquisition(STREAM_HANDLE stream, int32_t) {
    ROUTE_ENTER("J_DataStream_StopAcquisition");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    stream->running = false;
    const std::shared_ptr<camera_stream> backend = stream->backend;
    lock.unlock();
    backend->stop();
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_FlushQueue(STREAM_HANDLE stream, int32_t queue) {
    ROUTE_ENTER("J_DataStream_FlushQueue");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    if (queue == ACQ_QUEUE_INPUT_TO_OUTPUT) {
        std::shared_ptr<camera_stream> backend = stream->backend;
        lock.unlock();
        const std::vector<BUF_HANDLE> given_back = backend->flush();
        backend.reset();
        lock.lock();
        if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
        for (BUF_HANDLE b : given_back) {
            if (!stream->buffers.count(b) || b->state != j_buffer::queued) continue;
            b->state = j_buffer::output;
            stream->output.push_back(b);
        }
    } else if (queue == ACQ_QUEUE_OUTPUT_DISCARD) {
        for (auto* b : stream->output)
            b->state = j_buffer::idle;
        stream->output.clear();
    } else {
        return J_ST_INVALID_PARAMETER;
    }
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_RevokeBuffer(STREAM_HANDLE stream, BUF_HANDLE buffer, void** memory,
                                        void** private_data) {
    ROUTE_ENTER("J_DataStream_RevokeBuffer");
    if (!g_streams.count(stream) || !stream->buffers.count(buffer)) return J_ST_INVALID_HANDLE;
    const J_STATUS_TYPE status = stream->backend->revoke(buffer);
    if (status != J_ST_SUCCESS) return status;
    std::erase(stream->output, buffer);
    if (memory) *memory = buffer->memory;
    if (private_data) *private_data = buffer->private_data;
    stream->buffers.erase(buffer);
    delete buffer;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_GetBufferInfo(STREAM_HANDLE stream, BUF_HANDLE buffer, int32_t info,
                                         void* value, uint32_t* size) {
    ROUTE_ENTER("J_DataStream_GetBufferInfo");
    if (!g_streams.count(stream) || !stream->buffers.count(buffer)) return J_ST_INVALID_HANDLE;
    const frame_info& frame = buffer->info;
    switch (info) {
        case BUFFER_INFO_BASE:
            return put_value<uint64_t>(uint64_t(reinterpret_cast<uintptr_t>(buffer->memory)), value,
                                       size);
        case BUFFER_INFO_SIZE:
            return put_value<uint64_t>(frame.image_size, value, size);
        case BUFFER_INFO_TIMESTAMP:
            return put_value<uint64_t>(frame.timestamp, value, size);
        case BUFFER_INFO_NUM_QUEUED:
            return put_value<uint64_t>(
                std::count_if(stream->buffers.begin(), stream->buffers.end(),
                              [](j_buffer* b) { return b->state == j_buffer::queued; }),
                value, size);
        case BUFFER_INFO_WIDTH:
            return put_value<uint32_t>(frame.width, value, size);
        case BUFFER_INFO_HEIGHT:
            return put_value<uint32_t>(frame.height, value, size);
        case BUFFER_INFO_XOFFSET:
        case BUFFER_INFO_YOFFSET:
        case BUFFER_INFO_XPADDING:
        case BUFFER_INFO_MISSING_PACKETS:  // incomplete frames are never delivered
            return put_value<uint32_t>(0, value, size);
        case BUFFER_INFO_FRAME_ID:
            return put_value<uint64_t>(frame.frame_id, value, size);
        case BUFFER_INFO_PIXELTYPE:
            return put_value<uint64_t>(frame.pixel_format, value, size);
        default:
            return J_ST_INVALID_PARAMETER;
    }
}

J_STATUS_TYPE J_DataStream_GetStreamInfo(STREAM_HANDLE stream, int32_t info, void* value,
                                         uint32_t* size) {
    ROUTE_ENTER("J_DataStream_GetStreamInfo");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    switch (info) {
        case STREAM_INFO_NUM_DELIVERED:
            return put_value<uint64_t>(stream->delivered, value, size);
        case STREAM_INFO_NUM_UNDERRUN:
            return put_value<uint64_t>(stream->backend->counters().lost, value, size);
        case STREAM_INFO_NUM_AWAIT_DELIVERY:
            return put_value<uint64_t>(stream->output.size(), value, size);
        case STREAM_INFO_NUM_CORRUPT:
            return put_value<uint64_t>(stream->backend->counters().corrupt, value, size);
        default:
            return J_ST_INVALID_PARAMETER;
    }
}

J_STATUS_TYPE J_DataStream_Close(STREAM_HANDLE stream) {
    ROUTE_ENTER("J_DataStream_Close");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    // Delivery ends before the buffers go.
    stream->running = false;
    std::shared_ptr<camera_stream> backend = stream->backend;
    lock.unlock();
    backend->stop();
    lock.lock();
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;  // closed meanwhile
    if (stream->event) unlink_event(stream->event);
    for (auto* b : stream->buffers)
        delete b;
    if (stream->camera) stream->camera->stream = nullptr;
    stream->sink->stream = nullptr;
    g_streams.erase(stream);
    backend = std::move(stream->backend);
    delete stream;
    lock.unlock();
    backend.reset();
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Event_CreateCondition(J_COND_HANDLE* condition) {
    ROUTE_ENTER("J_Event_CreateCondition");
    if (!condition) return J_ST_INVALID_PARAMETER;
    auto* c = new j_condition;
    g_conditions.insert(c);
    *condition = c;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Event_WaitForCondition(J_COND_HANDLE condition, uint32_t timeout_ms,
                                       int32_t* result) {
    ROUTE_ENTER("J_Event_WaitForCondition");
    if (!g_conditions.count(condition)) return J_ST_INVALID_HANDLE;
    if (!result) return J_ST_INVALID_PARAMETER;
    if (g_forced_wait_times > 0) {
        --g_forced_wait_times;
        *result = g_forced_wait_result;
        return J_ST_SUCCESS;
    }
    // Frames already delivered are handed out before a failure is reported.
    auto frame_ready = [&] {
        return std::any_of(condition->events.begin(), condition->events.end(),
                           [](j_event* e) { return e->stream && !e->stream->output.empty(); });
    };
    auto failed = [&] {
        return std::any_of(condition->events.begin(), condition->events.end(),
                           [](j_event* e) { return e->stream && e->stream->failed; });
    };
    condition->cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return condition->exit_pending || frame_ready() || failed(); });
    if (condition->exit_pending) {
        condition->exit_pending = false;
        *result = J_COND_WAIT_EXIT;
    } else if (frame_ready()) {
        *result = J_COND_WAIT_SIGNAL;
    } else {
        *result = failed() ? J_COND_WAIT_ERROR : J_COND_WAIT_TIMEOUT;
    }
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Event_ExitCondition(J_COND_HANDLE condition) {
    ROUTE_ENTER("J_Event_ExitCondition");
    if (!g_conditions.count(condition)) return J_ST_INVALID_HANDLE;
    condition->exit_pending = true;
    condition->cv.notify_all();
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Event_CloseCondition(J_COND_HANDLE condition) {
    ROUTE_ENTER("J_Event_CloseCondition");
    if (!g_conditions.count(condition)) return J_ST_INVALID_HANDLE;
    for (auto* e : condition->events)
        e->condition = nullptr;
    g_conditions.erase(condition);
    delete condition;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Event_GetData(EVT_HANDLE event, void* data, uint32_t* size) {
    ROUTE_ENTER("J_Event_GetData");
    if (!g_events.count(event) || !event->stream) return J_ST_INVALID_HANDLE;
    if (!data || !size || *size < sizeof(J_EVENT_DATA_NEW_BUFFER)) return J_ST_INVALID_BUFFER_SIZE;
    j_stream* s = event->stream;
    if (s->output.empty()) return J_ST_NO_DATA;
    j_buffer* b = s->output.front();
    s->output.pop_front();
    b->state = j_buffer::delivered;
    J_EVENT_DATA_NEW_BUFFER out{b, b->info.frame_id};
    std::memcpy(data, &out, sizeof(out));
    *size = sizeof(out);
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Event_Close(EVT_HANDLE event) {
    ROUTE_ENTER("J_Event_Close");
    if (!g_events.count(event)) return J_ST_INVALID_HANDLE;
    unlink_event(event);
    g_events.erase(event);
    delete event;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Image_Rotate(J_tIMAGE_INFO* image, int32_t rotation) {
    ROUTE_ENTER("J_Image_Rotate");
    if (!image || !image->pImageBuffer) return J_ST_INVALID_PARAMETER;
    if (rotation != J_ROTATE_180) return J_ST_NOT_IMPLEMENTED;
    const size_t step = pixel_format_bytes(image->iPixelType);
    const size_t pixels = size_t(image->iSizeX) * image->iSizeY;
    if (pixels * step > image->iImageSize) return J_ST_INVALID_BUFFER_SIZE;
    uint8_t* p = image->pImageBuffer;
    if (step == 1) {
        std::reverse(p, p + pixels);
    } else {
        for (size_t i = 0, j = pixels - 1; i < j; ++i, --j) {
            std::swap_ranges(p + i * step, p + (i + 1) * step, p + j * step);
        }
    }
    return J_ST_SUCCESS;
}

}  // extern "C"
