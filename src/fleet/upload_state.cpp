#include "fleet/upload_state.h"

#include "fleet/json.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

std::string normal_endpoint(std::string endpoint) {
    while (!endpoint.empty() && endpoint.back() == '/')
        endpoint.pop_back();
    return endpoint;
}

[[noreturn]] void bad(const std::string& what) {
    throw std::runtime_error(what);
}

const json_value& need(const json_value& object, const char* name, json_value::kind type) {
    const json_value* v = object.find(name);
    if (!v || v->type != type) bad(std::string("\"") + name + "\" is missing or of the wrong kind");
    return *v;
}

session_record read_record(const json_value& v) {
    using kind = json_value::kind;
    if (v.type != kind::object) bad("a session is not an object");
    session_record r;
    r.folder = need(v, "folder", kind::string).text;
    r.prefix = need(v, "prefix", kind::string).text;
    r.frames_sha256 = need(v, "frames_sha256", kind::string).text;
    r.stored = need(v, "stored", kind::boolean).boolean;
    r.manifest_sha256 = need(v, "manifest_sha256", kind::string).text;
    for (const json_value& c : need(v, "chunks", kind::array).items) {
        if (c.type != kind::array || c.items.size() != 4)
            bad("a chunk is not [index, size, sha256, md5]");
        uint64_t index = 0;
        chunk_record record;
        if (!json_to_u64(c.items[0], index) || index > UINT32_MAX ||
            !json_to_u64(c.items[1], record.size) || c.items[2].type != kind::string ||
            c.items[3].type != kind::string) {
            bad("a chunk is not [index, size, sha256, md5]");
        }
        record.index = uint32_t(index);
        record.sha256 = c.items[2].text;
        record.md5 = c.items[3].text;
        r.confirm(record);
    }
    return r;
}

void write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category());
        }
        done += size_t(n);
    }
}

}  // namespace

const chunk_record* session_record::chunk(uint32_t index) const {
    const auto it = std::lower_bound(chunks.begin(), chunks.end(), index,
                                     [](const chunk_record& c, uint32_t i) { return c.index < i; });
    return it != chunks.end() && it->index == index ? &*it : nullptr;
}

void session_record::confirm(const chunk_record& c) {
    const auto it = std::lower_bound(chunks.begin(), chunks.end(), c.index,
                                     [](const chunk_record& r, uint32_t i) { return r.index < i; });
    if (it != chunks.end() && it->index == c.index) {
        *it = c;
    } else {
        chunks.insert(it, c);
    }
}

void session_record::forget(uint32_t index) {
    chunks.erase(std::remove_if(chunks.begin(), chunks.end(),
                                [&](const chunk_record& c) { return c.index == index; }),
                 chunks.end());
}

upload_state::upload_state(std::string file, std::string endpoint, std::string bucket)
    : file_(std::move(file)),
      endpoint_(normal_endpoint(std::move(endpoint))),
      bucket_(std::move(bucket)) {
    std::ifstream in(file_, std::ios::binary);
    if (!in) return;  // no state yet
    std::ostringstream text;
    text << in.rdbuf();
    load(text.str());
}

upload_state upload_state::from_text(std::string_view text, std::string endpoint,
                                     std::string bucket) {
    upload_state state({}, std::move(endpoint), std::move(bucket));
    state.load(std::string(text));
    return state;
}

void upload_state::load(const std::string& text) {
    try {
        const json_value doc = parse_json(text);
        if (doc.type != json_value::kind::object) bad("the state is not an object");
        uint64_t version = 0;
        const json_value* v = doc.find("version");
        if (!v || !json_to_u64(*v, version) || version != 1) bad("the state's version is not 1");
        // Another store's states do not hold for this one.
        if (need(doc, "endpoint", json_value::kind::string).text != endpoint_ ||
            need(doc, "bucket", json_value::kind::string).text != bucket_) {
            return;
        }
        std::vector<session_record> records;
        for (const json_value& s : need(doc, "sessions", json_value::kind::array).items)
            records.push_back(read_record(s));
        records_ = std::move(records);
    } catch (const std::exception& e) {
        load_problem_ = file_ + ": not a state file, set aside (" + e.what() + ")";
    }
}

const session_record* upload_state::find(const std::string& folder) const {
    for (const auto& r : records_) {
        if (r.folder == folder) return &r;
    }
    return nullptr;
}

session_record& upload_state::record(const std::string& folder) {
    for (auto& r : records_) {
        if (r.folder == folder) return r;
    }
    records_.push_back({});
    records_.back().folder = folder;
    return records_.back();
}

void upload_state::erase(const std::string& folder) {
    records_.erase(std::remove_if(records_.begin(), records_.end(),
                                  [&](const session_record& r) { return r.folder == folder; }),
                   records_.end());
}

std::string upload_state::text() const {
    std::string out = "{\"version\": 1, \"endpoint\": ";
    append_json_string(out, endpoint_);
    out += ", \"bucket\": ";
    append_json_string(out, bucket_);
    out += ", \"sessions\": [";
    for (size_t i = 0; i < records_.size(); ++i) {
        const session_record& r = records_[i];
        out += i ? ",\n  {\"folder\": " : "\n  {\"folder\": ";
        append_json_string(out, r.folder);
        out += ", \"prefix\": ";
        append_json_string(out, r.prefix);
        out += ", \"frames_sha256\": ";
        append_json_string(out, r.frames_sha256);
        out += std::string(", \"stored\": ") + (r.stored ? "true" : "false");
        out += ", \"manifest_sha256\": ";
        append_json_string(out, r.manifest_sha256);
        out += ", \"chunks\": [";
        for (size_t j = 0; j < r.chunks.size(); ++j) {
            const chunk_record& c = r.chunks[j];
            if (j) out += ", ";
            out += "[" + std::to_string(c.index) + ", " + std::to_string(c.size) + ", ";
            append_json_string(out, c.sha256);
            out += ", ";
            append_json_string(out, c.md5);
            out += "]";
        }
        out += "]}";
    }
    out += "\n]}\n";
    return out;
}

void upload_state::save() const {
    const std::string out = text();
    namespace fs = std::filesystem;
    const fs::path path(file_);
    const fs::path folder = path.parent_path();
    const std::string temporary = file_ + ".new";
    const auto fail = [&](const std::string& what, int error) {
        throw std::runtime_error("the fleet store's state " + file_ + " cannot be written (" +
                                 what + ": " + std::strerror(error) + ")");
    };
    std::error_code error;
    if (!folder.empty() && !fs::exists(folder, error)) {
        fs::create_directories(folder, error);
        if (error) fail("its folder", error.value());
        ::chmod(folder.c_str(), 0700);
    }
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) fail(temporary, errno);
    try {
        ::fchmod(fd, 0600);
        write_all(fd, out);
        if (::fsync(fd) != 0) throw std::system_error(errno, std::generic_category());
    } catch (const std::system_error& e) {
        ::close(fd);
        ::unlink(temporary.c_str());
        fail(temporary, e.code().value());
    }
    if (::close(fd) != 0) {
        const int e = errno;
        ::unlink(temporary.c_str());
        fail(temporary, e);
    }
    if (::rename(temporary.c_str(), file_.c_str()) != 0) {
        const int e = errno;
        ::unlink(temporary.c_str());
        fail("renaming " + temporary, e);
    }
    // The rename itself lasts once the folder is synced.
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

std::string default_state_file(const std::string& home) {
    return home + "/Dunmere/fleet/uploads.json";
}
