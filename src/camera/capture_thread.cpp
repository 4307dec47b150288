#include "camera/capture_thread.h"

#include "runtime/configuration.h"
#include "runtime/thread_events.h"
#include "runtime/thread_name.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

constexpr int kBufferCount = 20;
constexpr uint32_t kWaitMs = 1000;
constexpr uint64_t kStreamInfoEvery = 10;               // frames per preview refresh
constexpr auto kReopenPause = std::chrono::seconds(2);  // between looks for a lost camera

template <typename T>
T buffer_value(STREAM_HANDLE stream, BUF_HANDLE buffer, int32_t code) {
    T value{};
    uint32_t size = sizeof(T);
    if (J_DataStream_GetBufferInfo(stream, buffer, code, &value, &size) != J_ST_SUCCESS) {
        throw std::runtime_error("Error getting buffer info");
    }
    return value;
}

}  // namespace

capture_thread::capture_thread(const app_link_ptr& link, CAM_HANDLE camera, frame_buffer& frame,
                               reopen_function reopen)
    : wxThread(wxTHREAD_JOINABLE),
      link_(link),
      camera_(camera),
      frame_(frame),
      rotate_(link->read_bool(cfg::rotate180, cfg::rotate180_default)),
      reopen_(std::move(reopen)) {}

capture_thread::~capture_thread() = default;

void capture_thread::request_stop() {
    std::lock_guard<std::mutex> lock(condition_guard_);
    stop_requested_ = true;
    if (condition_) J_Event_ExitCondition(condition_);
    retry_cv_.notify_all();
}

std::string capture_thread::statistics_text(uint64_t delivered, uint64_t lost, uint64_t await,
                                            uint64_t corrupt, uint64_t fps) {
    return "delivered: " + std::to_string(delivered) + " lost: " + std::to_string(lost) +
           " await: " + std::to_string(await) + " corrupt: " + std::to_string(corrupt) +
           " fps: " + std::to_string(fps);
}

std::string capture_thread::stream_info_text(uint64_t timestamp, uint32_t missing,
                                             uint32_t queued) {
    return "timestamp: " + std::to_string(timestamp) +
           " missing packets: " + std::to_string(missing) +
           " queued buffers: " + std::to_string(queued);
}

wxThread::ExitCode capture_thread::Entry() {
    name_this_thread("capture");
    bool looking = false;  // for a camera that was lost
    while (true) {
        const attempt_end end = attempt(looking);
        mark_capture_ended(frame_);
        if (end == attempt_end::stopped || !reopen_) {
            return reinterpret_cast<ExitCode>(end == attempt_end::set_up_failed && !looking ? -1
                                                                                            : 0);
        }
        if (!looking) {
            link_->post_error(wxString::Format(L"Камера недоступна: поиск каждые %d с",
                                               int(kReopenPause.count())));
            looking = true;
        }
        // The camera is looked for again until it answers or the owner stops.
        do {
            std::unique_lock<std::mutex> lock(condition_guard_);
            if (retry_cv_.wait_for(lock, kReopenPause, [this] { return stop_requested_.load(); })) {
                return 0;
            }
            lock.unlock();
            camera_ = reopen_();
        } while (!camera_);
    }
}

capture_thread::attempt_end capture_thread::attempt(bool looking) {
    attempt_end end = attempt_end::set_up_failed;
    bool streaming = false;
    mark_capture_began(frame_);
    try {
        set_up();
        streaming = true;
        if (looking) link_->post_info(L"Камера снова доступна, захват возобновлен");
        end = stream_loop() ? attempt_end::stopped : attempt_end::lost;
    } catch (const std::exception& e) {
        // Set-up failures of a camera still being looked for are expected.
        if (streaming || !looking) link_->post_error(e.what());
        if (streaming) end = attempt_end::lost;
    } catch (...) {
        if (streaming || !looking) link_->post_error("Unknown exception in capture thread");
        if (streaming) end = attempt_end::lost;
    }
    // Whatever ended the attempt, the stream, its buffers and the condition go.
    try {
        tear_down();
    } catch (...) {
    }
    return end;
}

void capture_thread::set_up() {
    uint32_t streams = 0;
    if (J_Camera_GetNumOfDataStreams(camera_, &streams) != J_ST_SUCCESS) {
        throw std::runtime_error("Error getting number of streams");
    }
    if (J_Camera_CreateDataStream(camera_, 0, &stream_) != J_ST_SUCCESS) {
        stream_ = nullptr;
        throw std::runtime_error("Error creating data stream");
    }
    // A GigE Vision camera negotiates its packet size as the stream is made.
    int64_t packet_size = 0;
    if (J_Camera_GetValueInt64(camera_, "GevSCPSPacketSize", &packet_size) == J_ST_SUCCESS) {
        link_->post_info("GigE Vision packet size: " + std::to_string(packet_size) + " bytes");
    }
    const uint64_t mode = 0;
    if (J_DataStream_SetParam(stream_, STREAM_PARAM_BUFFER_HANDLING, &mode, sizeof(mode)) !=
        J_ST_SUCCESS) {
        throw std::runtime_error("Error setting stream parameter");
    }
    const uint32_t size = static_cast<uint32_t>(frame_.pixels.size());
    for (int i = 0; i < kBufferCount; ++i) {
        auto block = std::make_unique<uint8_t[]>(std::max<uint32_t>(size, 1));
        BUF_HANDLE buffer = nullptr;
        if (J_DataStream_AnnounceBuffer(stream_, block.get(), size, nullptr, &buffer) !=
            J_ST_SUCCESS) {
            throw std::runtime_error("Error announce buffer");
        }
        uint8_t* memory = block.get();
        buffers_.emplace(buffer, std::move(block));
        if (J_DataStream_QueueBuffer(stream_, buffer) != J_ST_SUCCESS) {
            void* revoked = nullptr;
            J_DataStream_RevokeBuffer(stream_, buffer, &revoked, nullptr);
            if (revoked == memory) buffers_.erase(buffer);
            throw std::runtime_error("Error queue buffer");
        }
    }
    {
        std::lock_guard<std::mutex> lock(condition_guard_);
        if (J_Event_CreateCondition(&condition_) != J_ST_SUCCESS) {
            condition_ = nullptr;
            throw std::runtime_error("Error create condition");
        }
        // A stop asked for before the condition existed is answered now.
        if (stop_requested_) J_Event_ExitCondition(condition_);
    }
    if (J_DataStream_RegisterEvent(stream_, EVENT_NEW_BUFFER, condition_, &event_) !=
        J_ST_SUCCESS) {
        event_ = nullptr;
        throw std::runtime_error("Error register event");
    }
    if (J_DataStream_StartAcquisition(stream_, ACQ_START_NEXT_IMAGE, 0xFFFFFFFFFFFFFFFFull) !=
        J_ST_SUCCESS) {
        throw std::runtime_error("error start acquisition");
    }
    acquisition_started_ = true;
    start_time_ = std::time(nullptr);
    if (J_Camera_ExecuteCommand(camera_, "AcquisitionStart") != J_ST_SUCCESS) {
        throw std::runtime_error("Error starting acquisition.");
    }
    camera_started_ = true;
}

J_tIMAGE_INFO capture_thread::buffer_info(BUF_HANDLE buffer) {
    J_tIMAGE_INFO info{};
    info.iPixelType = buffer_value<uint64_t>(stream_, buffer, BUFFER_INFO_PIXELTYPE);
    info.iSizeX = buffer_value<uint32_t>(stream_, buffer, BUFFER_INFO_WIDTH);
    info.iSizeY = buffer_value<uint32_t>(stream_, buffer, BUFFER_INFO_HEIGHT);
    info.iImageSize =
        static_cast<uint32_t>(buffer_value<uint64_t>(stream_, buffer, BUFFER_INFO_SIZE));
    info.pImageBuffer = reinterpret_cast<uint8_t*>(
        static_cast<uintptr_t>(buffer_value<uint64_t>(stream_, buffer, BUFFER_INFO_BASE)));
    info.iTimeStamp = buffer_value<uint64_t>(stream_, buffer, BUFFER_INFO_TIMESTAMP);
    info.iMissingPackets = buffer_value<uint32_t>(stream_, buffer, BUFFER_INFO_MISSING_PACKETS);
    info.iAnnouncedBuffers = kBufferCount;
    info.iQueuedBuffers =
        static_cast<uint32_t>(buffer_value<uint64_t>(stream_, buffer, BUFFER_INFO_NUM_QUEUED));
    info.iOffsetX = buffer_value<uint32_t>(stream_, buffer, BUFFER_INFO_XOFFSET);
    info.iOffsetY = buffer_value<uint32_t>(stream_, buffer, BUFFER_INFO_YOFFSET);
    info.iAwaitDelivery = 0;
    info.iBlockId = buffer_value<uint64_t>(stream_, buffer, BUFFER_INFO_FRAME_ID);
    info.iPaddingX = buffer_value<uint32_t>(stream_, buffer, BUFFER_INFO_XPADDING);
    info.iImageStatus = 2;
    return info;
}

bool capture_thread::stream_loop() {
    uint64_t frames = 0;
    while (true) {
        int32_t result = 0;
        if (J_Event_WaitForCondition(condition_, kWaitMs, &result) != J_ST_SUCCESS) {
            link_->post_error("Error waiting for event");
            return false;
        }
        switch (result) {
            case J_COND_WAIT_SIGNAL: {
                J_EVENT_DATA_NEW_BUFFER data{};
                uint32_t size = sizeof(data);
                if (J_Event_GetData(event_, &data, &size) != J_ST_SUCCESS) {
                    throw std::runtime_error("Error getting buffer info");
                }
                J_tIMAGE_INFO info = buffer_info(data.BufferHandle);
                if (rotate_) J_Image_Rotate(&info, J_ROTATE_180);
                ++frames;
                {
                    std::unique_lock lock(frame_.lock);
                    // Never more than either side holds.
                    const size_t bytes = std::min<size_t>(frame_.pixels.size(), info.iImageSize);
                    if (info.pImageBuffer && bytes) {
                        std::memcpy(frame_.pixels.data(), info.pImageBuffer, bytes);
                    }
                    frame_.timestamp = info.iTimeStamp;
                    ++frame_.delivered;
                    frame_.delivered_at = frame_buffer::clock::now();
                }
                if (frames % kStreamInfoEvery == 0) {
                    link_->post(evt_stream_info,
                                stream_info_text(info.iTimeStamp, info.iMissingPackets,
                                                 info.iQueuedBuffers));
                }
                J_DataStream_QueueBuffer(stream_, data.BufferHandle);
                post_statistics();
                break;
            }
            case J_COND_WAIT_TIMEOUT:
                post_statistics();
                break;
            case J_COND_WAIT_EXIT:
                link_->post_info("Condition wait exit");
                return true;
            case J_COND_WAIT_ERROR:
                link_->post_error("Condition wait error");
                return false;
            default:
                link_->post_error("Unknown error in capture thread loop");
                return false;
        }
    }
}

void capture_thread::post_statistics() {
    uint64_t values[4] = {};
    const int32_t codes[4] = {STREAM_INFO_NUM_DELIVERED, STREAM_INFO_NUM_UNDERRUN,
                              STREAM_INFO_NUM_AWAIT_DELIVERY, STREAM_INFO_NUM_CORRUPT};
    for (int i = 0; i < 4; ++i) {
        uint32_t size = sizeof(uint64_t);
        if (J_DataStream_GetStreamInfo(stream_, codes[i], &values[i], &size) != J_ST_SUCCESS) {
            throw std::runtime_error("Error getting stream info");
        }
    }
    const std::time_t elapsed = std::time(nullptr) - start_time_;
    const uint64_t fps = elapsed > 0 ? values[0] / static_cast<uint64_t>(elapsed) : 0;
    link_->post(evt_grab_stats, statistics_text(values[0], values[1], values[2], values[3], fps));
}

void capture_thread::tear_down() {
    if (camera_started_) {
        J_Camera_ExecuteCommand(camera_, "AcquisitionStop");
        camera_started_ = false;
    }
    if (event_) {
        J_DataStream_UnRegisterEvent(stream_, EVENT_NEW_BUFFER);
        J_Event_Close(event_);
        event_ = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(condition_guard_);
        if (condition_) {
            J_Event_CloseCondition(condition_);
            condition_ = nullptr;
        }
    }
    if (stream_) {
        if (acquisition_started_) {
            J_DataStream_StopAcquisition(stream_, ACQ_STOP_FLAG_KILL);
            acquisition_started_ = false;
        }
        J_DataStream_FlushQueue(stream_, ACQ_QUEUE_INPUT_TO_OUTPUT);
        J_DataStream_FlushQueue(stream_, ACQ_QUEUE_OUTPUT_DISCARD);
        for (auto& [buffer, block] : buffers_) {
            J_DataStream_RevokeBuffer(stream_, buffer, nullptr, nullptr);
        }
        buffers_.clear();
        J_DataStream_Close(stream_);
        stream_ = nullptr;
    }
}

capture_thread* start_capture_thread(const app_link_ptr& link, CAM_HANDLE camera,
                                     frame_buffer& frame, capture_thread::reopen_function reopen) {
    auto* thread = new capture_thread(link, camera, frame, std::move(reopen));
    // Readers started right after it (the write thread) find a capture that
    // has begun, not one that has ended.
    mark_capture_began(frame);
    if (thread->Create() != wxTHREAD_NO_ERROR) {
        delete thread;
        throw std::runtime_error("Error creating capture thread");
    }
    thread->SetPriority(wxPRIORITY_MAX);
    if (thread->Run() != wxTHREAD_NO_ERROR) {
        delete thread;
        throw std::runtime_error("Error starting capture thread");
    }
    return thread;
}

void stop_capture_thread(capture_thread*& thread) {
    if (!thread) return;
    thread->request_stop();
    thread->Wait();
    delete thread;
    thread = nullptr;
}
