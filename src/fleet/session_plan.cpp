#include "fleet/session_plan.h"

#include "database/ldb_format.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "fleet/bucket_layout.h"
#include "fleet/digest.h"
#include "fleet/s3_client.h"
#include "runtime/text_encoding.h"

#include <filesystem>
#include <stdexcept>

namespace {

std::string folder_name(const std::string& path) {
    std::filesystem::path p = std::filesystem::path(path).lexically_normal();
    if (!p.has_filename()) p = p.parent_path();
    return p.filename().string();
}

bool same_folder(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code error;
    return fs::path(a).lexically_normal() == fs::path(b).lexically_normal() ||
           fs::equivalent(a, b, error);
}

std::optional<int64_t> stored_time(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    try {
        return parse_time(*text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

std::string bucket_side(const std::string& stored_side) {
    if (stored_side == "left" || stored_side == to_narrow(L"левый")) return "left";
    if (stored_side == "right" || stored_side == to_narrow(L"правый")) return "right";
    return {};
}

session_plan::session_plan(const std::string& path, const std::string& vehicle,
                           const std::function<bool()>& stop)
    : path_(path) {
    const std::string folder = folder_name(path);
    const auto refuse = [&](const std::string& why) {
        throw std::runtime_error(path + ": " + why);
    };
    {
        ldb_writer& live = ldb_writer::live();
        if (live.is_open() && same_folder(live.path(), path))
            refuse("the session is being recorded");
    }
    try {
        reader_ = std::make_unique<ldb_reader>(path);
    } catch (const std::exception& e) {
        refuse(std::string("not a session database that can be read: ") + e.what());
    }

    std::vector<uint32_t> keys;
    std::string fingerprint;
    uint64_t chunk_bytes = 0;
    uint32_t chunk = 0;
    size_t seen = 0;
    reader_->scan({}, [&](std::string_view key, std::string_view value) {
        if (++seen % 64 == 0 && stop && stop()) throw s3_aborted();
        if (!is_frame_key(leveldb::Slice(key.data(), key.size()))) {
            base_.metadata.emplace_back(std::string(key), std::string(value));
            return true;
        }
        const uint64_t length = value.size();
        if (chunk_sizes_.empty() ||
            (chunk_bytes > 0 && chunk_bytes + length > bucket_layout::chunk_limit)) {
            chunk_sizes_.push_back(0);
            chunk_first_.push_back(base_.frames.size());
            chunk = uint32_t(chunk_sizes_.size() - 1);
            chunk_bytes = 0;
        }
        manifest_frame f;
        f.key = parse_u32(std::string(key));
        f.chunk = chunk;
        f.offset = chunk_bytes;
        f.length = length;
        base_.frames.push_back(f);
        keys.push_back(f.key);
        chunk_bytes += length;
        chunk_sizes_[chunk] = chunk_bytes;
        total_ += length;
        fingerprint.append(key);
        fingerprint.append(std::to_string(length));
        fingerprint += '\n';
        return true;
    });
    if (stop && stop()) throw s3_aborted();

    if (base_.frames.empty()) refuse("the session holds no frames");
    if (!base_.stored(ldb_key::count)) refuse("the session was never closed");
    const std::string* side = base_.stored(ldb_key::side);
    base_.side = side ? bucket_side(*side) : std::string();
    if (base_.side.empty()) refuse("the session's side is neither left nor right");
    try {
        prefix_ = bucket_layout::session_prefix(vehicle, base_.side, folder);
    } catch (const std::invalid_argument& e) {
        refuse(e.what());
    }
    base_.vehicle = vehicle;
    base_.folder = folder;
    const std::string* session = base_.stored(ldb_key::session);
    base_.session = session ? *session : std::string();
    const auto text = [&](const char* key) -> std::optional<std::string> {
        const std::string* t = base_.stored(key);
        return t ? std::optional<std::string>(*t) : std::nullopt;
    };
    base_.time_start = stored_time(text(ldb_key::time_start));
    base_.time_end = stored_time(text(ldb_key::time_end));
    base_.dpp_start = base_.frames.front().key;
    base_.dpp_end = base_.frames.back().key;
    base_.count = base_.frames.size();
    base_.cover = coverage_of(keys);
    frames_sha256_ = sha256_hex(fingerprint);
}

session_plan::~session_plan() = default;

std::string session_plan::chunk_bytes(size_t i) const {
    const size_t first = chunk_first_.at(i);
    const size_t end = i + 1 < chunk_first_.size() ? chunk_first_[i + 1] : base_.frames.size();
    std::string bytes;
    bytes.reserve(chunk_sizes_[i]);
    size_t next = first;
    bool changed = false;
    reader_->scan(frame_key(base_.frames[first].key),
                  [&](std::string_view key, std::string_view value) {
                      const manifest_frame& f = base_.frames[next];
                      if (key != frame_key(f.key) || value.size() != f.length) {
                          changed = true;
                          return false;
                      }
                      bytes.append(value);
                      return ++next < end;
                  });
    if (changed || next != end) {
        throw std::runtime_error(path_ + ": the database changed since its upload began");
    }
    return bytes;
}

session_manifest session_plan::manifest(const std::vector<std::string>& chunk_sha256) const {
    if (chunk_sha256.size() != chunk_sizes_.size()) {
        throw std::logic_error("session_plan::manifest: one digest per chunk");
    }
    session_manifest m = base_;
    for (size_t i = 0; i < chunk_sizes_.size(); ++i) {
        m.chunks.push_back({bucket_layout::chunk_name(i), chunk_sizes_[i], chunk_sha256[i]});
    }
    return m;
}
