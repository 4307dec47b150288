#include "database/ldb_writer.h"

#include "database/ldb_format.h"
#include "database/shared_store.h"

#include <opencv2/imgcodecs.hpp>

#include <atomic>
#include <mutex>
#include <stdexcept>

namespace {
// Replaces the file system under every writer opened from now on (tests).
std::atomic<leveldb::Env*> g_store_env{nullptr};
}  // namespace

ldb_writer::ldb_writer() {
    options_.create_if_missing = true;
    // Megabyte JPEG values at up to a hundred a second: with small buffers
    // every table holds a few frames and the last-frame entries put with
    // each, and compaction rewrites the session over and over, costing the
    // store's background thread more than the encoders. Large tables keep it
    // far below. JPEG does not compress, so trying costs time for nothing.
    // Readers need none of this: every block says how it is stored.
    options_.write_buffer_size = size_t(64) << 20;
    options_.max_file_size = size_t(64) << 20;
    options_.compression = leveldb::kNoCompression;
}

void ldb_writer::set_store_env(leveldb::Env* env) {
    g_store_env = env;
}

void ldb_writer::set_sync_interval(clock::duration interval) {
    sync_interval_ = interval;
    if (syncer_) syncer_->set_interval(interval);
}

ldb_writer::~ldb_writer() = default;

ldb_writer& ldb_writer::live() {
    static ldb_writer writer;
    return writer;
}

void ldb_writer::open(const std::string& path) {
    {
        std::unique_lock lock(guard_);
        path_ = path;
        opening_ = true;
    }
    shared_store::release(path);  // a reader's idle handle would hold the folder
    leveldb::DB* db = nullptr;
    leveldb::Options options = options_;
    if (leveldb::Env* env = g_store_env) options.env = env;
    const leveldb::Status opened = leveldb::DB::Open(options, path, &db);
    {
        std::unique_lock lock(guard_);
        db_.reset(db);
        opening_ = false;
    }
    throw_if_failed(opened);
    syncer_ = std::make_unique<log_syncer>(path, sync_interval_);
    put(ldb_key::version, "1");
}

std::optional<ldb_info> ldb_writer::close(const std::string& session, const std::string& side,
                                          bool* missing_start) {
    if (!is_open()) return std::nullopt;
    // The handle goes whatever the closing puts do, so no session stays open.
    struct releaser {
        ldb_writer* w;
        ~releaser() { w->release(); }
    } at_end{this};
    put_session(session);
    put_side(side);
    put_count();
    // The size estimate counts tables only. A memtable compaction over a
    // range past every key writes the buffer out and compacts nothing.
    const leveldb::Slice past_every_key("~");
    db_->CompactRange(&past_every_key, &past_every_key);
    if (count_ == 0) return std::nullopt;
    std::shared_lock lock(guard_);
    try {
        return ::read_info(*db_, missing_start);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string ldb_writer::path() const {
    std::shared_lock lock(guard_);
    return path_;
}

bool ldb_writer::holds(const std::string& path) const {
    std::shared_lock lock(guard_);
    return (db_ || opening_) && path_ == path;
}

void ldb_writer::release() {
    syncer_.reset();  // before the store goes: it syncs the store's files
    std::unique_lock lock(guard_);
    db_.reset();
    count_ = 0;
}

bool ldb_writer::is_open() const {
    std::shared_lock lock(guard_);
    return db_ != nullptr;
}

void ldb_writer::put(const std::string& key, const std::string& value) {
    put_bytes(key, value);
}

void ldb_writer::put_bytes(const std::string& key, const leveldb::Slice& bytes) {
    if (!db_) return;
    if (syncer_) {
        if (const auto failure = syncer_->failure()) throw std::runtime_error(*failure);
    }
    throw_if_failed(db_->Put(leveldb::WriteOptions(), key, bytes));
}

void ldb_writer::put_session(const std::string& text) {
    put(ldb_key::session, text);
}
void ldb_writer::put_side(const std::string& text) {
    put(ldb_key::side, text);
}
void ldb_writer::put_count() {
    put(ldb_key::count, count_text(count_));
}
void ldb_writer::put_dpp_start(uint32_t value) {
    put(ldb_key::dpp_start, frame_key(value));
}
void ldb_writer::put_dpp_end(uint32_t value) {
    put(ldb_key::dpp_end, frame_key(value));
}
void ldb_writer::put_time_start(std::time_t time) {
    put(ldb_key::time_start, time_text(time));
}
void ldb_writer::put_time_end(std::time_t time) {
    put(ldb_key::time_end, time_text(time));
}

void ldb_writer::encode_frame(const cv::Mat& image, std::vector<uint8_t>& jpeg) {
    static const std::vector<int> params{cv::IMWRITE_JPEG_QUALITY, 85};
    if (!cv::imencode(".jpg", image, jpeg, params)) {
        throw std::runtime_error("JPEG encoding failed");
    }
}

size_t ldb_writer::put_frame(const cv::Mat& image, uint32_t value) {
    if (!db_) return 0;
    std::vector<uint8_t> jpeg;
    encode_frame(image, jpeg);
    put_frame_jpeg(jpeg, value);
    return jpeg.size();
}

void ldb_writer::put_frame_jpeg(const std::vector<uint8_t>& jpeg, uint32_t value) {
    if (!db_) return;
    put_bytes(frame_key(value),
              leveldb::Slice(reinterpret_cast<const char*>(jpeg.data()), jpeg.size()));
    ++count_;
}

void ldb_writer::put_stored(const std::string& key, std::string_view bytes) {
    if (!db_) return;
    put_bytes(key, leveldb::Slice(bytes.data(), bytes.size()));
    if (is_frame_key(key)) ++count_;
}

uint32_t ldb_writer::read_dpp_start() const {
    std::shared_lock lock(guard_);
    return db_ ? seeking_number(*db_, ldb_key::dpp_start) : 0;
}

uint32_t ldb_writer::read_dpp_end() const {
    std::shared_lock lock(guard_);
    return db_ ? seeking_number(*db_, ldb_key::dpp_end) : 0;
}

std::string ldb_writer::read_session() const {
    std::shared_lock lock(guard_);
    if (!db_) return {};
    return seeking_read(*db_, ldb_key::session).value_or(std::string());
}

std::optional<std::time_t> ldb_writer::read_time_start(bool* missing) const {
    std::shared_lock lock(guard_);
    if (missing) *missing = false;
    if (!db_) return std::nullopt;
    const auto text = seeking_read(*db_, ldb_key::time_start);
    if (!text) {
        if (missing) *missing = true;
        return std::nullopt;
    }
    return parse_time(*text);
}

uint64_t ldb_writer::read_size() const {
    std::shared_lock lock(guard_);
    if (!db_) return 0;
    return frame_range_size(*db_, seeking_number(*db_, ldb_key::dpp_start),
                            seeking_number(*db_, ldb_key::dpp_end));
}

ldb_info ldb_writer::read_info(bool* missing_start) const {
    std::shared_lock lock(guard_);
    if (missing_start) *missing_start = false;
    if (!db_) return {};
    ldb_info info = ::read_info(*db_, missing_start);
    info.count = count_;
    return info;
}

std::optional<std::string> ldb_writer::seek_value(uint32_t value) const {
    std::shared_lock lock(guard_);
    if (!db_) return std::nullopt;
    return seeking_read(*db_, frame_key(value));
}
