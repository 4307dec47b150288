#include "database/ldb_reader.h"

#include "database/ldb_format.h"
#include "database/shared_store.h"

#include <opencv2/imgcodecs.hpp>

namespace {

void decode(const leveldb::Slice& value, cv::Mat& image) {
    const cv::Mat bytes(1, static_cast<int>(value.size()), CV_8UC1,
                        const_cast<char*>(value.data()));
    image = value.empty() ? cv::Mat() : cv::imdecode(bytes, cv::IMREAD_COLOR);
}

}  // namespace

ldb_reader::ldb_reader(const std::string& path) {
    db_ = shared_store::open(path);
    current_.reset(db_->NewIterator(leveldb::ReadOptions()));
    current_->Seek(frame_key(read_dpp_start()));
    read_dpp_end();  // a database whose number reads fail is refused here
}

ldb_reader::~ldb_reader() {
    current_.reset();
    db_.reset();
}

uint32_t ldb_reader::read_count() {
    const auto text = exact_read(*db_, ldb_key::count);
    return text ? parse_u32(*text) : 0;
}

std::string ldb_reader::read_version() {
    return seeking_read(*db_, ldb_key::version).value_or(std::string());
}

uint32_t ldb_reader::read_dpp_start() {
    return seeking_number(*db_, ldb_key::dpp_start);
}

uint32_t ldb_reader::read_dpp_end() {
    return seeking_number(*db_, ldb_key::dpp_end);
}

ldb_info ldb_reader::read_info() {
    return ::read_info(*db_);
}

void ldb_reader::seek_frame(uint32_t value) {
    current_->Seek(frame_key(value));
}

void ldb_reader::decode_current(cv::Mat& image) {
    if (!current_->Valid()) {
        image = cv::Mat();
        return;
    }
    decode(current_->value(), image);
}

void ldb_reader::frame_at(uint32_t value, cv::Mat& image) {
    std::unique_ptr<leveldb::Iterator> it(db_->NewIterator(leveldb::ReadOptions()));
    it->Seek(frame_key(value));
    if (!it->Valid()) {
        image = cv::Mat();
        return;
    }
    decode(it->value(), image);
}

std::pair<std::string, std::string> ldb_reader::frame_bytes() const {
    if (!current_->Valid()) return {};
    return {current_->key().ToString(), current_->value().ToString()};
}

std::vector<uint32_t> ldb_reader::frame_keys() {
    std::vector<uint32_t> keys;
    std::unique_ptr<leveldb::Iterator> it(db_->NewIterator(leveldb::ReadOptions()));
    for (it->SeekToFirst(); it->Valid(); it->Next()) {
        // Frame keys come first; the metadata follow.
        if (!is_frame_key(it->key())) break;
        keys.push_back(frame_value(it->key()));
    }
    return keys;
}

void ldb_reader::scan(
    const std::string& from,
    const std::function<bool(std::string_view key, std::string_view value)>& take) {
    std::unique_ptr<leveldb::Iterator> it(db_->NewIterator(leveldb::ReadOptions()));
    for (it->Seek(from); it->Valid(); it->Next()) {
        const leveldb::Slice key = it->key();
        const leveldb::Slice value = it->value();
        if (!take({key.data(), key.size()}, {value.data(), value.size()})) return;
    }
    throw_if_failed(it->status());
}

void ldb_reader::step_forward() {
    if (current_->Valid()) current_->Next();
}
