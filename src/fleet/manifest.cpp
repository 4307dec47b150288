#include "fleet/manifest.h"

#include "database/ldb_format.h"
#include "fleet/bucket_layout.h"
#include "fleet/digest.h"
#include "fleet/json.h"

#include <algorithm>

namespace {

using kind = json_value::kind;

void append_text(std::string& out, const char* name, std::string_view value) {
    out += "  \"";
    out += name;
    out += "\": ";
    append_json_string(out, value);
    out += ",\n";
}

void append_number(std::string& out, const char* name, const std::string& value) {
    out += "  \"";
    out += name;
    out += "\": ";
    out += value;
    out += ",\n";
}

std::string optional_number(const std::optional<int64_t>& v) {
    return v ? std::to_string(*v) : "null";
}

void append_coverage(std::string& out, const coverage& c) {
    out += "{\"frames\": " + std::to_string(c.frames) + ", \"first\": " + std::to_string(c.first) +
           ", \"last\": " + std::to_string(c.last) + ", \"span\": " + std::to_string(c.span()) +
           ", \"step\": " + std::to_string(c.step) + ", \"gaps\": [";
    for (size_t i = 0; i < c.gaps.size(); ++i) {
        const auto& g = c.gaps[i];
        if (i) out += ", ";
        out += "[" + std::to_string(g.start) + ", " + std::to_string(g.end) + ", " +
               std::to_string(g.missing) + "]";
    }
    out += "], \"covered\": " + json_number(c.covered) + "}";
}

// The reading side: every access names what it reads, so an error says where.
[[noreturn]] void fail(const std::string& what) {
    throw manifest_error("manifest: " + what);
}

const json_value& member(const json_value& object, const char* name, const std::string& where) {
    const json_value* v = object.find(name);
    if (!v) fail(where + " has no \"" + name + "\"");
    return *v;
}

void only_members(const json_value& object, std::initializer_list<const char*> names,
                  const std::string& where) {
    if (object.type != kind::object) fail(where + " is not an object");
    for (const auto& m : object.members) {
        if (std::find_if(names.begin(), names.end(), [&](const char* n) { return m.name == n; }) ==
            names.end()) {
            fail(where + " has an unknown member \"" + m.name + "\"");
        }
    }
    for (const char* name : names)
        member(object, name, where);
}

uint64_t u64(const json_value& v, const std::string& where) {
    uint64_t n = 0;
    if (!json_to_u64(v, n)) fail(where + " is not a whole number of 0 or more");
    return n;
}

uint32_t u32(const json_value& v, const std::string& where) {
    const uint64_t n = u64(v, where);
    if (n > UINT32_MAX) fail(where + " is above 4294967295");
    return uint32_t(n);
}

std::optional<int64_t> optional_i64(const json_value& v, const std::string& where) {
    if (v.type == kind::null) return std::nullopt;
    int64_t n = 0;
    if (!json_to_i64(v, n)) fail(where + " is neither a whole number nor null");
    return n;
}

const std::string& text(const json_value& v, const std::string& where) {
    if (v.type != kind::string) fail(where + " is not a string");
    return v.text;
}

const std::vector<json_value>& array(const json_value& v, const std::string& where) {
    if (v.type != kind::array) fail(where + " is not an array");
    return v.items;
}

std::string at(const std::string& where, size_t i) {
    return where + "[" + std::to_string(i) + "]";
}

coverage read_coverage(const json_value& v) {
    only_members(v, {"frames", "first", "last", "span", "step", "gaps", "covered"}, "coverage");
    coverage c;
    c.frames = u64(member(v, "frames", ""), "coverage.frames");
    c.first = u32(member(v, "first", ""), "coverage.first");
    c.last = u32(member(v, "last", ""), "coverage.last");
    c.step = u32(member(v, "step", ""), "coverage.step");
    if (u64(member(v, "span", ""), "coverage.span") != c.span()) {
        fail("coverage.span is not last - first");
    }
    const auto& gaps = array(member(v, "gaps", ""), "coverage.gaps");
    for (size_t i = 0; i < gaps.size(); ++i) {
        const auto& g = array(gaps[i], at("coverage.gaps", i));
        if (g.size() != 3) fail(at("coverage.gaps", i) + " is not [start, end, missing]");
        c.gaps.push_back({u32(g[0], at("coverage.gaps", i)), u32(g[1], at("coverage.gaps", i)),
                          u64(g[2], at("coverage.gaps", i))});
    }
    if (!json_to_double(member(v, "covered", ""), c.covered)) {
        fail("coverage.covered is not a number");
    }
    return c;
}

bool same_coverage(const coverage& a, const coverage& b) {
    if (a.frames != b.frames || a.first != b.first || a.last != b.last || a.step != b.step ||
        a.covered != b.covered || a.gaps.size() != b.gaps.size()) {
        return false;
    }
    for (size_t i = 0; i < a.gaps.size(); ++i) {
        if (a.gaps[i].start != b.gaps[i].start || a.gaps[i].end != b.gaps[i].end ||
            a.gaps[i].missing != b.gaps[i].missing) {
            return false;
        }
    }
    return true;
}

std::optional<int64_t> stored_time(const session_manifest& m, const char* key) {
    const std::string* t = m.stored(key);
    if (!t) return std::nullopt;
    try {
        return parse_time(*t);
    } catch (const std::exception&) {
        return std::nullopt;  // a text that is no time: unknown, as the station reads it
    }
}

// Frames against their chunks: in key order, every chunk filled by its
// frames end to end, from the first chunk to the last, none empty.
void check_frames(const session_manifest& m) {
    if (m.frames.empty()) fail("has no frames");
    if (m.count != m.frames.size()) fail("count is not the number of frames");
    if (m.chunks.empty()) fail("has no chunks");
    uint32_t chunk = 0;
    uint64_t offset = 0;
    size_t in_chunk = 0;  // frames seen in the current chunk
    const auto end_chunk = [&] {
        if (in_chunk == 0) fail(at("chunks", chunk) + " holds no frame");
        if (offset != m.chunks[chunk].size) {
            fail(at("chunks", chunk) + " is not the sum of its frames' lengths");
        }
        if (m.chunks[chunk].size > bucket_layout::chunk_limit && in_chunk > 1) {
            fail(at("chunks", chunk) + " holds more than 16 MiB in several frames");
        }
    };
    for (size_t i = 0; i < m.frames.size(); ++i) {
        const manifest_frame& f = m.frames[i];
        const std::string where = at("frames", i);
        if (i > 0 && f.key <= m.frames[i - 1].key) fail(where + " is not after the frame before");
        if (f.chunk != chunk) {
            if (f.chunk != chunk + 1) fail(where + " skips or goes back a chunk");
            end_chunk();
            chunk = f.chunk;
            offset = 0;
            in_chunk = 0;
            if (chunk >= m.chunks.size()) fail(where + " names a chunk that is not listed");
        }
        if (f.offset != offset) fail(where + " does not follow the frame before it in its chunk");
        if (f.length > m.chunks[chunk].size - offset) fail(where + " reaches past its chunk's end");
        offset += f.length;
        ++in_chunk;
    }
    end_chunk();
    if (chunk + 1 != m.chunks.size()) fail("chunks after the last frame's");
}

}  // namespace

std::string session_manifest::prefix() const {
    return bucket_layout::session_prefix(vehicle, side, folder);
}

const std::string* session_manifest::stored(std::string_view key) const {
    for (const auto& [name, value] : metadata) {
        if (name == key) return &value;
    }
    return nullptr;
}

const manifest_frame* session_manifest::frame_at_or_after(uint32_t value) const {
    const auto it = std::lower_bound(frames.begin(), frames.end(), value,
                                     [](const manifest_frame& f, uint32_t v) { return f.key < v; });
    return it == frames.end() ? nullptr : &*it;
}

std::string write_manifest(const session_manifest& m) {
    std::string out = "{\n";
    append_number(out, "version", std::to_string(session_manifest::format_version));
    append_text(out, "vehicle", m.vehicle);
    append_text(out, "side", m.side);
    append_text(out, "folder", m.folder);
    append_text(out, "session", m.session);
    append_number(out, "time_start", optional_number(m.time_start));
    append_number(out, "time_end", optional_number(m.time_end));
    append_number(out, "dpp_start", std::to_string(m.dpp_start));
    append_number(out, "dpp_end", std::to_string(m.dpp_end));
    append_number(out, "count", std::to_string(m.count));
    out += "  \"metadata\": {";
    for (size_t i = 0; i < m.metadata.size(); ++i) {
        out += i ? ",\n    " : "\n    ";
        append_json_string(out, m.metadata[i].first);
        out += ": ";
        append_json_string(out, m.metadata[i].second);
    }
    out += m.metadata.empty() ? "},\n" : "\n  },\n";
    out += "  \"coverage\": ";
    append_coverage(out, m.cover);
    out += ",\n  \"chunks\": [";
    for (size_t i = 0; i < m.chunks.size(); ++i) {
        const auto& c = m.chunks[i];
        out += i ? ",\n    {\"name\": " : "\n    {\"name\": ";
        append_json_string(out, c.name);
        out += ", \"size\": " + std::to_string(c.size) + ", \"sha256\": ";
        append_json_string(out, c.sha256);
        out += "}";
    }
    out += m.chunks.empty() ? "],\n" : "\n  ],\n";
    out += "  \"frames\": [";
    for (size_t i = 0; i < m.frames.size(); ++i) {
        const auto& f = m.frames[i];
        out += i ? ",\n    [\"" : "\n    [\"";
        out += frame_key(f.key) + "\", " + std::to_string(f.chunk) + ", " +
               std::to_string(f.offset) + ", " + std::to_string(f.length) + "]";
    }
    out += m.frames.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

session_manifest read_manifest(std::string_view bytes) {
    json_value doc;
    try {
        doc = parse_json(bytes);
    } catch (const json_error& e) {
        fail(std::string("not JSON: ") + e.what());
    }
    only_members(doc,
                 {"version", "vehicle", "side", "folder", "session", "time_start", "time_end",
                  "dpp_start", "dpp_end", "count", "metadata", "coverage", "chunks", "frames"},
                 "the document");
    const uint64_t version = u64(member(doc, "version", ""), "version");
    if (version != session_manifest::format_version) {
        fail("version " + std::to_string(version) + " is not one this program reads");
    }
    session_manifest m;
    m.vehicle = text(member(doc, "vehicle", ""), "vehicle");
    m.side = text(member(doc, "side", ""), "side");
    m.folder = text(member(doc, "folder", ""), "folder");
    try {
        (void)m.prefix();
    } catch (const std::invalid_argument& e) {
        fail(e.what());
    }
    m.session = text(member(doc, "session", ""), "session");
    m.time_start = optional_i64(member(doc, "time_start", ""), "time_start");
    m.time_end = optional_i64(member(doc, "time_end", ""), "time_end");
    m.dpp_start = u32(member(doc, "dpp_start", ""), "dpp_start");
    m.dpp_end = u32(member(doc, "dpp_end", ""), "dpp_end");
    m.count = u64(member(doc, "count", ""), "count");

    const json_value& metadata = member(doc, "metadata", "");
    if (metadata.type != kind::object) fail("metadata is not an object");
    for (const auto& [name, value] : metadata.members) {
        if (is_frame_key(name)) fail("metadata has a frame key \"" + name + "\"");
        if (!m.metadata.empty() && name <= m.metadata.back().first) {
            fail("metadata is not in key order");
        }
        m.metadata.emplace_back(name, text(value, "metadata." + name));
    }

    const auto& chunks = array(member(doc, "chunks", ""), "chunks");
    for (size_t i = 0; i < chunks.size(); ++i) {
        const std::string where = at("chunks", i);
        only_members(chunks[i], {"name", "size", "sha256"}, where);
        manifest_chunk c;
        c.name = text(member(chunks[i], "name", ""), where + ".name");
        if (c.name != bucket_layout::chunk_name(i))
            fail(where + " is not named " + bucket_layout::chunk_name(i));
        c.size = u64(member(chunks[i], "size", ""), where + ".size");
        c.sha256 = text(member(chunks[i], "sha256", ""), where + ".sha256");
        if (!is_lower_hex(c.sha256, 64)) fail(where + ".sha256 is not 64 lower-case hex digits");
        m.chunks.push_back(std::move(c));
    }

    const auto& frames = array(member(doc, "frames", ""), "frames");
    m.frames.reserve(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::string where = at("frames", i);
        const auto& f = array(frames[i], where);
        if (f.size() != 4) fail(where + " is not [key, chunk, offset, length]");
        const std::string& key = text(f[0], where + " key");
        if (!is_frame_key(key)) fail(where + " key is not ten digits");
        manifest_frame frame;
        if (parse_u64(key) > UINT32_MAX) fail(where + " key is above 4294967295");
        frame.key = frame_value(key);
        frame.chunk = u32(f[1], where + " chunk");
        frame.offset = u64(f[2], where + " offset");
        frame.length = u64(f[3], where + " length");
        m.frames.push_back(frame);
    }
    check_frames(m);

    if (m.dpp_start != m.frames.front().key || m.dpp_end != m.frames.back().key) {
        fail("dpp_start and dpp_end are not the first and last frame");
    }
    const std::string* session = m.stored("session");
    if (m.session != (session ? *session : std::string())) {
        fail("session is not the stored session");
    }
    if (m.time_start != stored_time(m, "time_start") || m.time_end != stored_time(m, "time_end")) {
        fail("time_start and time_end are not the stored times");
    }
    m.cover = read_coverage(member(doc, "coverage", ""));
    std::vector<uint32_t> keys;
    keys.reserve(m.frames.size());
    for (const auto& f : m.frames)
        keys.push_back(f.key);
    if (!same_coverage(m.cover, coverage_of(keys))) fail("coverage is not the frames' coverage");
    return m;
}
