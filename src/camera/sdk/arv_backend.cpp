#include "camera/sdk/arv_backend.h"

#include "camera/sdk/camera_link.h"
#include "camera/sdk/gvcp_discovery.h"

#include <arv.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <thread>

namespace {

using namespace std::chrono_literals;

// One discovery takes Aravis a second; the camera discovery of the program
// lists once per camera, so a list this young is given again.
constexpr auto kListReuse = 1500ms;
constexpr auto kProbeWait = 300ms;

// Releases Aravis objects on a thread of its own, for cameras that no longer
// answer: Aravis then waits for every control time-out while releasing them.
// Joined at exit.
class releaser {
  public:
    static releaser& instance() {
        static releaser r;
        return r;
    }
    void release(gpointer object) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(object);
        }
        wake_.notify_one();
    }
    ~releaser() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        worker_.join();
    }

  private:
    releaser() : worker_([this] { run(); }) {}
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            wake_.wait(lock, [&] { return done_ || !queue_.empty(); });
            if (queue_.empty()) return;
            gpointer object = queue_.front();
            queue_.pop_front();
            lock.unlock();
            g_object_unref(object);
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<gpointer> queue_;  // guarded by mutex_
    bool done_ = false;           // guarded by mutex_
    std::thread worker_;
};

void release(gpointer object, bool camera_lost) {
    if (!object) return;
    if (camera_lost) {
        releaser::instance().release(object);
    } else {
        g_object_unref(object);
    }
}

// Status of a failed Aravis call; the error is freed.
J_STATUS_TYPE status_of(GError* error) {
    if (!error) return J_ST_SUCCESS;
    J_STATUS_TYPE status = J_ST_ERROR;
    if (error->domain == ARV_DEVICE_ERROR) {
        switch (error->code) {
            case ARV_DEVICE_ERROR_FEATURE_NOT_FOUND:
            case ARV_DEVICE_ERROR_WRONG_FEATURE:
                status = J_ST_INVALID_PARAMETER;
                break;
            case ARV_DEVICE_ERROR_TIMEOUT:
                status = J_ST_TIMEOUT;
                break;
            case ARV_DEVICE_ERROR_NOT_CONTROLLER:
                status = J_ST_ACCESS_DENIED;
                break;
            default:
                break;
        }
    }
    g_error_free(error);
    return status;
}

std::string text_of(const char* text) {
    return text ? std::string(text) : std::string();
}

std::string gige_id(std::string mac, const std::string& serial) {
    std::replace(mac.begin(), mac.end(), ':', '-');
    return "TL=>GevTL , INT=>SD , MAC=>" + mac + " , SN=>" + serial;
}

void on_control_lost(ArvDevice*, gpointer data) {
    (*static_cast<std::shared_ptr<camera_link>*>(data))->fail();
}

// A stream of an Aravis camera. The caller's buffers are wrapped, not copied,
// when they hold a whole payload; smaller ones get a payload-sized buffer of
// their own and the image is copied into them on delivery. Aravis fills
// buffers on its receiving thread and signals each one it finishes; the
// handler, on that same thread, queues incomplete ones again and hands
// complete ones to the sink, so a frame costs no thread of ours.
//
// control_ serialises start, stop and flush. mutex_ guards the buffer slots
// and counts; it is never held while calling the sink.
class arv_stream_impl final : public camera_stream {
  public:
    arv_stream_impl(ArvStream* stream, uint32_t payload, std::shared_ptr<camera_link> link,
                    std::shared_ptr<frame_sink> sink)
        : stream_(stream), payload_(payload), link_(std::move(link)), sink_(std::move(sink)) {
        // Aravis starts receiving at once; buffers go to it only from start().
        arv_stream_stop_thread(stream_, TRUE);
        for (guint i = 0; i < arv_stream_get_n_infos(stream_); ++i) {
            const std::string name = text_of(arv_stream_get_info_name(stream_, i));
            if (name == "n_underruns") underruns_info_ = int(i);
            if (name == "n_missing_frames") missing_info_ = int(i);
        }
        handler_ = g_signal_connect(stream_, "new-buffer", G_CALLBACK(on_new_buffer), this);
        arv_stream_set_emit_signals(stream_, TRUE);
    }

    ~arv_stream_impl() override {
        stop();
        arv_stream_set_emit_signals(stream_, FALSE);
        g_signal_handler_disconnect(stream_, handler_);
        for (auto& [key, s] : slots_)
            g_object_unref(s.buffer);
        // Aravis 0.8 stops the receiving thread once more as it releases the
        // stream, and complains when it is not running.
        arv_stream_start_thread(stream_);
        release(stream_, link_->lost());
    }

    J_STATUS_TYPE announce(BUF_HANDLE key, uint8_t* memory, uint32_t size) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (slots_.count(key)) return J_ST_ACCESS_DENIED;
        slot s;
        s.memory = memory;
        s.size = size;
        if (size >= payload_) {
            s.buffer = arv_buffer_new_full(size, memory, key, nullptr);
        } else {
            s.own.reset(new uint8_t[payload_]);
            s.buffer = arv_buffer_new_full(payload_, s.own.get(), key, nullptr);
        }
        slots_.emplace(key, std::move(s));
        return J_ST_SUCCESS;
    }

    J_STATUS_TYPE revoke(BUF_HANDLE key) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = slots_.find(key);
        if (it == slots_.end()) return J_ST_INVALID_HANDLE;
        if (it->second.with_aravis) return J_ST_ACCESS_DENIED;
        std::erase(pending_, key);
        g_object_unref(it->second.buffer);
        slots_.erase(it);
        return J_ST_SUCCESS;
    }

    J_STATUS_TYPE queue(BUF_HANDLE key) override {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = slots_.find(key);
        if (it == slots_.end()) return J_ST_INVALID_HANDLE;
        if (receiving_) {
            give_to_aravis(it->second);
        } else {
            pending_.push_back(key);
        }
        return J_ST_SUCCESS;
    }

    counts counters() override {
        auto info = [&](int id) { return id < 0 ? 0 : arv_stream_get_info_uint64(stream_, id); };
        const uint64_t lost = info(underruns_info_) + info(missing_info_);
        std::lock_guard<std::mutex> lock(mutex_);
        return {lost, corrupt_};
    }

    J_STATUS_TYPE start() override {
        std::lock_guard<std::mutex> control(control_);
        if (link_->lost()) return J_ST_ERROR;
        std::lock_guard<std::mutex> lock(mutex_);
        if (receiving_) return J_ST_ACCESS_DENIED;
        resume_locked();
        return J_ST_SUCCESS;
    }

    void stop() override {
        std::lock_guard<std::mutex> control(control_);
        halt();
    }

    std::vector<BUF_HANDLE> flush() override {
        std::lock_guard<std::mutex> control(control_);
        const bool was_receiving = halt();
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<BUF_HANDLE> given_back(pending_.begin(), pending_.end());
        pending_.clear();
        if (was_receiving) resume_locked();
        return given_back;
    }

  private:
    struct slot {
        uint8_t* memory = nullptr;  // the caller's
        uint32_t size = 0;
        std::unique_ptr<uint8_t[]> own;  // payload-sized, when the caller's is smaller
        ArvBuffer* buffer = nullptr;     // our reference; Aravis holds another while with_aravis
        bool with_aravis = false;
    };

    static void on_new_buffer(ArvStream*, gpointer self) {
        static_cast<arv_stream_impl*>(self)->take_buffer();
    }

    // Must hold mutex_.
    void give_to_aravis(slot& s) {
        s.with_aravis = true;
        arv_stream_push_buffer(stream_, ARV_BUFFER(g_object_ref(s.buffer)));
    }

    // Must hold control_ and mutex_; Aravis not receiving.
    void resume_locked() {
        for (BUF_HANDLE key : pending_)
            give_to_aravis(slots_.at(key));
        pending_.clear();
        receiving_ = true;
        arv_stream_start_thread(stream_);
    }

    // Must hold control_. Stops Aravis's thread, so no buffer is being handed
    // over; afterwards every buffer is back in our hands, and the ones Aravis
    // held are pending for the next start. Whether Aravis was receiving.
    bool halt() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!receiving_) return false;
        }
        arv_stream_stop_thread(stream_, TRUE);  // joins; drops Aravis's references
        std::lock_guard<std::mutex> lock(mutex_);
        receiving_ = false;
        for (auto& [key, s] : slots_) {
            if (s.with_aravis) {
                s.with_aravis = false;
                pending_.push_back(key);
            }
        }
        return true;
    }

    void take_buffer();

    ArvStream* const stream_;
    const uint32_t payload_;
    const std::shared_ptr<camera_link> link_;
    const std::shared_ptr<frame_sink> sink_;
    int underruns_info_ = -1;  // stream information ids, -1 when Aravis has none
    int missing_info_ = -1;
    gulong handler_ = 0;

    std::mutex control_;

    std::mutex mutex_;
    // State below is protected by mutex_.
    std::map<BUF_HANDLE, slot> slots_;
    std::deque<BUF_HANDLE> pending_;  // queued while Aravis was not receiving
    bool receiving_ = false;
    uint64_t corrupt_ = 0;
};

// On Aravis's receiving thread, once per finished buffer.
void arv_stream_impl::take_buffer() {
    ArvBuffer* buffer = arv_stream_try_pop_buffer(stream_);
    if (!buffer) return;
    const auto key = static_cast<BUF_HANDLE>(const_cast<void*>(arv_buffer_get_user_data(buffer)));
    const ArvBufferStatus status = arv_buffer_get_status(buffer);
    std::unique_lock<std::mutex> lock(mutex_);
    auto it = slots_.find(key);
    if (it == slots_.end()) {  // not ours: nothing to fill
        lock.unlock();
        g_object_unref(buffer);
        return;
    }
    slot& s = it->second;
    if (status != ARV_BUFFER_STATUS_SUCCESS) {
        if (status != ARV_BUFFER_STATUS_ABORTED && status != ARV_BUFFER_STATUS_CLEARED) ++corrupt_;
        arv_stream_push_buffer(stream_, buffer);  // Aravis's reference goes back
        return;
    }
    s.with_aravis = false;
    size_t size = 0;
    const auto* image = static_cast<const uint8_t*>(arv_buffer_get_image_data(buffer, &size));
    frame_info info;
    info.timestamp = arv_buffer_get_timestamp(buffer);
    if (info.timestamp == 0) info.timestamp = arv_buffer_get_system_timestamp(buffer);
    info.frame_id = arv_buffer_get_frame_id(buffer);
    info.width = uint32_t(std::max(0, arv_buffer_get_image_width(buffer)));
    info.height = uint32_t(std::max(0, arv_buffer_get_image_height(buffer)));
    info.pixel_format = arv_buffer_get_image_pixel_format(buffer);
    info.image_size = uint32_t(std::min<size_t>(size, s.size));
    if (image && image != s.memory) std::memmove(s.memory, image, info.image_size);
    lock.unlock();
    g_object_unref(buffer);
    sink_->deliver(key, info);
}

// An open Aravis camera. mutex_ keeps its GenICam calls to one thread at a
// time; the "control-lost" handler never takes it.
class arv_device_impl final : public camera_device {
  public:
    explicit arv_device_impl(ArvCamera* camera) : camera_(camera) {
        handler_ = g_signal_connect_data(
            arv_camera_get_device(camera_), "control-lost", G_CALLBACK(on_control_lost),
            new std::shared_ptr<camera_link>(link_),
            [](gpointer data, GClosure*) {
                delete static_cast<std::shared_ptr<camera_link>*>(data);
            },
            GConnectFlags(0));
    }

    ~arv_device_impl() override {
        g_signal_handler_disconnect(arv_camera_get_device(camera_), handler_);
        release(camera_, link_->lost());
    }

    J_STATUS_TYPE get_int64(const char* name, int64_t& value) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (link_->lost()) return J_ST_ERROR;
        GError* error = nullptr;
        const gint64 v = arv_device_get_integer_feature_value(device(), name, &error);
        if (error) return status_of(error);
        value = v;
        return J_ST_SUCCESS;
    }

    J_STATUS_TYPE set_string(const char* name, const char* value) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (link_->lost()) return J_ST_ERROR;
        GError* error = nullptr;
        arv_device_set_string_feature_value(device(), name, value, &error);
        return status_of(error);
    }

    J_STATUS_TYPE execute(const char* name) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (link_->lost()) return J_ST_ERROR;
        const bool start = std::strcmp(name, "AcquisitionStart") == 0;
        const bool stop = std::strcmp(name, "AcquisitionStop") == 0;
        // Cameras that lock their transport parameters while streaming want it said.
        if (start) lock_transport(true);
        GError* error = nullptr;
        arv_device_execute_command(device(), name, &error);
        if (stop) lock_transport(false);
        return status_of(error);
    }

    uint32_t stream_count() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (link_->lost() || !arv_camera_is_gv_device(camera_)) return 1;
        GError* error = nullptr;
        const gint n = arv_camera_gv_get_n_stream_channels(camera_, &error);
        if (error) g_error_free(error);
        return uint32_t(std::max(1, n));
    }

    J_STATUS_TYPE create_stream(uint32_t index, std::shared_ptr<frame_sink> sink,
                                std::unique_ptr<camera_stream>& stream) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (link_->lost()) return J_ST_ERROR;
        if (index != 0) return J_ST_INVALID_PARAMETER;
        GError* error = nullptr;
        if (arv_camera_is_gv_device(camera_)) {
            // The largest packet that reaches us whole; the camera keeps its
            // own size when it cannot send test packets.
            arv_camera_gv_auto_packet_size(camera_, &error);
            if (error) g_clear_error(&error);
        }
        const guint payload = arv_camera_get_payload(camera_, &error);
        if (error) return status_of(error);
        ArvStream* made = arv_camera_create_stream(camera_, nullptr, nullptr, &error);
        if (!made) return error ? status_of(error) : J_ST_ERROR;
        if (ARV_IS_GV_STREAM(made)) {
            g_object_set(made, "socket-buffer", ARV_GV_STREAM_SOCKET_BUFFER_AUTO,
                         "socket-buffer-size", 0, "packet-resend",
                         ARV_GV_STREAM_PACKET_RESEND_ALWAYS, nullptr);
        }
        link_->add(sink);
        stream = std::make_unique<arv_stream_impl>(made, payload, link_, std::move(sink));
        return J_ST_SUCCESS;
    }

  private:
    ArvDevice* device() { return arv_camera_get_device(camera_); }

    // Must hold mutex_. "TLParamsLocked" is optional; its absence is no fault.
    void lock_transport(bool locked) {
        GError* error = nullptr;
        if (arv_device_is_feature_available(device(), "TLParamsLocked", &error)) {
            arv_device_set_integer_feature_value(device(), "TLParamsLocked", locked ? 1 : 0,
                                                 &error);
        }
        if (error) g_error_free(error);
    }

    ArvCamera* const camera_;
    const std::shared_ptr<camera_link> link_ = std::make_shared<camera_link>();
    gulong handler_ = 0;
    std::mutex mutex_;
};

}  // namespace

void arv_backend::configure(const options& options) {
    std::lock_guard<std::mutex> lock(options_mutex_);
    options_ = options;
    ++generation_;
}

std::string arv_backend::version() {
    return "Aravis " + std::to_string(arv_get_major_version()) + "." +
           std::to_string(arv_get_minor_version()) + "." + std::to_string(arv_get_micro_version());
}

std::vector<camera_entry> arv_backend::list() {
    options wanted;
    uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(options_mutex_);
        wanted = options_;
        generation = generation_;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (generation != listed_generation_ || now - listed_at_ > kListReuse) {
        listed_ = list_locked(wanted);
        listed_at_ = std::chrono::steady_clock::now();
        listed_generation_ = generation;
    }
    return listed_;
}

std::vector<camera_entry> arv_backend::list_locked(const options& wanted) {
    std::map<std::string, camera_entry> found;  // sorted by ID, one entry per camera
    if (wanted.discover_gige) {
        ArvInterface* gige = arv_gv_interface_get_instance();
        arv_interface_update_device_list(gige);
        for (unsigned i = 0; i < arv_interface_get_n_devices(gige); ++i) {
            camera_entry entry;
            entry.id = gige_id(text_of(arv_interface_get_device_physical_id(gige, i)),
                               text_of(arv_interface_get_device_serial_nbr(gige, i)));
            entry.model = text_of(arv_interface_get_device_model(gige, i));
            entry.address = text_of(arv_interface_get_device_address(gige, i));
            names_[entry.id] = text_of(arv_interface_get_device_id(gige, i));
            found[entry.id] = entry;
        }
    }
    for (const std::string& address : wanted.gige_addresses) {
        const auto device = gvcp_discover(address, kProbeWait);
        if (!device) continue;
        camera_entry entry;
        entry.id = gige_id(device->mac, device->serial.empty() ? device->mac : device->serial);
        entry.model = device->model;
        entry.address = device->ip;
        names_[entry.id] = address;  // reached by its address, whatever discovery sees
        found[entry.id] = entry;
    }
    if (wanted.discover_usb3) {
        ArvInterface* usb = arv_uv_interface_get_instance();
        arv_interface_update_device_list(usb);
        for (unsigned i = 0; i < arv_interface_get_n_devices(usb); ++i) {
            camera_entry entry;
            const std::string name = text_of(arv_interface_get_device_id(usb, i));
            entry.id = "TL=>U3VTL , INT=>SD , DEV=>" + name;
            entry.model = text_of(arv_interface_get_device_model(usb, i));
            entry.address = text_of(arv_interface_get_device_address(usb, i));
            if (entry.address.empty()) {
                entry.address = text_of(arv_interface_get_device_physical_id(usb, i));
            }
            names_[entry.id] = name;
            found[entry.id] = entry;
        }
    }
    std::vector<camera_entry> entries;
    for (auto& [id, entry] : found)
        entries.push_back(std::move(entry));
    return entries;
}

J_STATUS_TYPE arv_backend::open(const std::string& id, std::unique_ptr<camera_device>& device) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto name = names_.find(id);
    if (name == names_.end()) return J_ST_INVALID_ID;
    GError* error = nullptr;
    ArvCamera* camera = arv_camera_new(name->second.c_str(), &error);
    if (!camera && id.find("TL=>GevTL") != std::string::npos) {
        // Aravis tries the address it last saw; a camera that came back
        // elsewhere is found by a new discovery.
        g_clear_error(&error);
        arv_interface_update_device_list(arv_gv_interface_get_instance());
        camera = arv_camera_new(name->second.c_str(), &error);
    }
    if (!camera) return error ? status_of(error) : J_ST_ERROR;
    device = std::make_unique<arv_device_impl>(camera);
    return J_ST_SUCCESS;
}
