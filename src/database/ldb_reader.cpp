#include "database/ldb_reader.h"

#include "database/ldb_format.h"
#include "database/shared_store.h"
#include "runtime/text_encoding.h"

#include <opencv2/imgcodecs.hpp>

#include <cctype>

std::string no_data_text() {
    return to_narrow(L"нет данных");
}

namespace {

void decode(const leveldb::Slice& value, cv::Mat& image) {
    const cv::Mat bytes(1, static_cast<int>(value.size()), CV_8UC1,
                        const_cast<char*>(value.data()));
    image = value.empty() ? cv::Mat() : cv::imdecode(bytes, cv::IMREAD_COLOR);
}

}  // namespace

ldb_reader::ldb_reader(const std::string& path) {
    db_ = shared_store::open(path);
    first_.reset(db_->NewIterator(leveldb::ReadOptions()));
    last_.reset(db_->NewIterator(leveldb::ReadOptions()));
    current_.reset(db_->NewIterator(leveldb::ReadOptions()));
    first_->Seek(frame_key(read_dpp_start()));
    current_->Seek(frame_key(read_dpp_start()));
    last_->Seek(frame_key(read_dpp_end()));
}

ldb_reader::~ldb_reader() {
    current_.reset();
    last_.reset();
    first_.reset();
    db_.reset();
}

std::string ldb_reader::read_session() {
    return exact_read(*db_, ldb_key::session).value_or(no_data_text());
}

std::string ldb_reader::read_orientation() {
    return exact_read(*db_, ldb_key::orientation).value_or(no_data_text());
}

std::string ldb_reader::read_side() {
    return exact_read(*db_, ldb_key::side).value_or(no_data_text());
}

uint32_t ldb_reader::read_count() {
    const auto text = exact_read(*db_, ldb_key::count);
    return text ? parse_u32(*text) : 0;
}

std::string ldb_reader::read_version() {
    return seeking_read(*db_, ldb_key::version).value_or(std::string());
}

uint32_t ldb_reader::read_dpp_start() {
    const auto text = seeking_read(*db_, ldb_key::dpp_start);
    return text ? parse_u32(*text) : 0;
}

uint32_t ldb_reader::read_dpp_end() {
    const auto text = seeking_read(*db_, ldb_key::dpp_end);
    return text ? parse_u32(*text) : 0;
}

ldb_info ldb_reader::read_info() {
    ldb_info info;
    info.session = read_session();
    info.orientation = read_orientation();
    info.side = read_side();
    if (const auto text = seeking_read(*db_, ldb_key::time_start)) {
        if (const auto t = parse_time(*text)) info.time_start = local_time_text(*t);
    }
    if (const auto text = seeking_read(*db_, ldb_key::time_end)) {
        if (const auto t = parse_time(*text)) info.time_end = local_time_text(*t);
    }
    info.dpp_start = read_dpp_start();
    info.dpp_end = read_dpp_end();
    info.version = read_version();
    const std::string from = first_->Valid() ? first_->key().ToString() : std::string();
    const std::string to = last_->Valid() ? last_->key().ToString() : std::string();
    info.size = from < to ? approximate_size(*db_, from, to) : 0;
    info.count = read_count();
    return info;
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
        const leveldb::Slice key = it->key();
        // Frame keys (ten digits) come first; the metadata follow.
        if (key.size() != 10 || !std::isdigit(static_cast<unsigned char>(key[0]))) break;
        keys.push_back(parse_u32(key.ToString()));
    }
    return keys;
}

void ldb_reader::step_forward() {
    if (current_->Valid()) current_->Next();
}
