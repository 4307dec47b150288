#include "fleet/fleet_store.h"

#include "database/frame_lookup.h"
#include "database/ldb_format.h"
#include "database/ldb_writer.h"
#include "fleet/bucket_layout.h"
#include "fleet/digest.h"
#include "fleet/s3_client.h"

#include <filesystem>
#include <set>
#include <stdexcept>
#include <unistd.h>

namespace {

// The one path segment a listed common prefix adds to `parent`, or "".
std::string segment(const std::string& prefix, const std::string& parent) {
    if (prefix.size() <= parent.size() + 1 || prefix.compare(0, parent.size(), parent) != 0 ||
        prefix.back() != '/') {
        return {};
    }
    return prefix.substr(parent.size(), prefix.size() - parent.size() - 1);
}

// A manifest large enough for a session of a few million frames.
constexpr uint64_t kManifestLimit = uint64_t(512) << 20;

}  // namespace

std::vector<session_place> fleet_store::sessions(const session_filter& filter) {
    std::vector<std::string> vehicles;
    if (!filter.vehicle.empty()) {
        vehicles.push_back(filter.vehicle);
    } else {
        for (const auto& p : store_.list("", "/").prefixes) {
            const std::string v = segment(p, "");
            if (bucket_layout::is_vehicle_name(v)) vehicles.push_back(v);
        }
    }
    std::vector<session_place> found;
    for (const auto& vehicle : vehicles) {
        if (!bucket_layout::is_vehicle_name(vehicle)) {
            throw std::invalid_argument("the vehicle name \"" + vehicle +
                                        "\" is not one the fleet store holds");
        }
        for (const char* side : {"left", "right"}) {
            if (!filter.side.empty() && filter.side != side) continue;
            const std::string parent = vehicle + "/" + side + "/";
            for (const auto& p : store_.list(parent, "/").prefixes) {
                const std::string time = segment(p, parent);
                if (!bucket_layout::is_session_time(time)) continue;
                if (!filter.since.empty() && time < filter.since) continue;
                if (!filter.until.empty() && time > filter.until) continue;
                found.push_back({p, vehicle, side, time});
            }
        }
    }
    return found;
}

std::optional<session_manifest> fleet_store::manifest(const std::string& prefix) {
    const std::string name = prefix + bucket_layout::manifest_name;
    std::string text;
    try {
        text = store_.get_object(name, kManifestLimit);
    } catch (const s3_error& e) {
        if (e.status() == 404) return std::nullopt;
        throw;
    }
    session_manifest m;
    try {
        m = read_manifest(text);
    } catch (const manifest_error& e) {
        throw manifest_error(name + ": " + e.what());
    }
    if (m.prefix() != prefix) {
        throw manifest_error(name + ": manifest: it describes the session at " + m.prefix());
    }
    return m;
}

std::string fleet_store::frame_bytes(const session_manifest& m, const manifest_frame& frame) {
    return store_.get_range(m.prefix() + m.chunks.at(frame.chunk).name, frame.offset, frame.length);
}

std::vector<uint8_t> fleet_store::frame_png(const session_manifest& m, uint32_t value) {
    const manifest_frame* frame = value >= m.dpp_start ? m.frame_at_or_after(value) : nullptr;
    if (!frame) {
        throw std::runtime_error("no frame at or after " + std::to_string(value) +
                                 ": the session holds frames from " + std::to_string(m.dpp_start) +
                                 " to " + std::to_string(m.dpp_end));
    }
    std::vector<uint8_t> png = stored_frame_png(frame_bytes(m, *frame));
    if (png.empty()) {
        throw std::runtime_error("the frame at " + frame_key(frame->key) + " is not an image");
    }
    return png;
}

std::string fleet_store::restore(const session_manifest& m, const std::string& out_dir,
                                 const std::function<void(uint64_t, uint64_t)>& done) {
    namespace fs = std::filesystem;
    // The manifest was read strictly: the folder is a session's time, no path.
    const fs::path target = fs::path(out_dir) / m.folder;
    const fs::path partial =
        fs::path(out_dir) / ("." + m.folder + ".restoring-" + std::to_string(::getpid()));
    if (fs::exists(target)) {
        throw std::runtime_error(target.string() + " exists already; nothing was restored");
    }
    uint64_t total = 0;
    for (const auto& c : m.chunks)
        total += c.size;
    fs::create_directories(out_dir);
    fs::remove_all(partial);
    try {
        ldb_writer writer;
        writer.open(partial.string());
        uint64_t written = 0;
        size_t next = 0;  // the first frame of the chunk being written
        for (size_t i = 0; i < m.chunks.size(); ++i) {
            const manifest_chunk& c = m.chunks[i];
            const std::string name = m.prefix() + c.name;
            const std::string bytes = store_.get_object(name, c.size);
            if (bytes.size() != c.size || sha256_hex(bytes) != c.sha256) {
                throw std::runtime_error(name + " is not the chunk its manifest names");
            }
            for (; next < m.frames.size() && m.frames[next].chunk == i; ++next) {
                const manifest_frame& f = m.frames[next];
                writer.put_stored(frame_key(f.key),
                                  std::string_view(bytes).substr(f.offset, f.length));
                written += f.length;
            }
            if (done) done(written, total);
        }
        for (const auto& [key, value] : m.metadata)
            writer.put_stored(key, value);
        writer.release();
        fs::rename(partial, target);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(partial, ignored);
        throw;
    }
    return target.string();
}

std::string fleet_store::check_stored(const std::string& prefix, const ldb_info& local) {
    const auto m = manifest(prefix);
    if (!m) return "the fleet store holds no manifest at " + prefix;
    const std::string* side = m->stored(ldb_key::side);
    const std::string* count = m->stored(ldb_key::count);
    if (m->session != local.session) return "the session code differs";
    if (!side || *side != local.side) return "the side differs";
    uint64_t stored_count = 0;
    try {
        stored_count = count ? parse_u64(*count) : 0;
    } catch (const std::exception&) {
        return "the manifest's stored count is no number";
    }
    if (!count || stored_count != local.count) return "the number of frames differs";
    if (m->dpp_start != local.dpp_start || m->dpp_end != local.dpp_end) {
        return "the odometer range differs";
    }
    return {};
}

size_t fleet_store::delete_unfinished(const std::string& prefix) {
    std::set<std::string> named;
    if (const auto m = manifest(prefix)) {
        named.insert(prefix + bucket_layout::manifest_name);
        for (const auto& c : m->chunks)
            named.insert(prefix + c.name);
    }
    size_t deleted = 0;
    for (const auto& object : store_.list(prefix).objects) {
        if (named.count(object.key)) continue;
        store_.delete_object(object.key);
        ++deleted;
    }
    return deleted;
}
