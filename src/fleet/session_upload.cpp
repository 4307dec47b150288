#include "fleet/session_upload.h"

#include "fleet/bucket_layout.h"
#include "fleet/digest.h"
#include "fleet/s3_client.h"
#include "fleet/session_plan.h"
#include "fleet/upload_state.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <stdexcept>

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

}  // namespace

session_upload::session_upload(s3_client& store, upload_state& state, std::string path,
                               std::string vehicle)
    : store_(store), state_(state), path_(std::move(path)), vehicle_(std::move(vehicle)) {}

upload_result session_upload::run(const report& progress) {
    const auto stop = [this] { return store_.aborted(); };
    const session_plan plan(path_, vehicle_, stop);
    const std::string& prefix = plan.prefix();
    upload_result result;
    result.prefix = prefix;
    result.bytes = plan.total_bytes();
    result.chunks = plan.chunk_count();

    // Confirmations count only for the same frames at the same place.
    session_record& record = state_.record(path_);
    if (record.prefix != prefix || record.frames_sha256 != plan.frames_sha256()) {
        record = session_record{};
        record.folder = path_;
        record.prefix = prefix;
        record.frames_sha256 = plan.frames_sha256();
    }
    record.stored = false;
    record.manifest_sha256.clear();

    uint64_t done = 0;
    const auto tell = [&](upload_progress::stage_kind stage, uint64_t now) {
        if (progress) progress({stage, now, plan.total_bytes(), result.bytes_sent});
    };

    // The bucket is the truth: what it lacks is sent again, what it holds
    // whole is not sent twice. Chunks confirmed by an earlier run are read
    // again, so that the session is the one whose upload began (the
    // database is held for reading from here on, so nothing changes it).
    std::map<std::string, s3_object> held;
    for (auto& object : store_.list(prefix).objects)
        held[object.key] = object;
    tell(upload_progress::checking, 0);
    const std::vector<chunk_record> earlier = record.chunks;
    for (const chunk_record& c : earlier) {
        if (store_.aborted()) throw s3_aborted();
        const auto it = held.find(prefix + bucket_layout::chunk_name(c.index));
        const std::string etag = it == held.end() ? std::string() : lower(it->second.etag);
        if (c.index >= plan.chunk_count() || it == held.end() || it->second.size != c.size ||
            c.size != plan.chunk_size(c.index) ||
            (etag_is_md5(etag) && !c.md5.empty() && etag != c.md5)) {
            record.forget(c.index);
        } else if (sha256_hex(plan.chunk_bytes(c.index)) != c.sha256) {
            record.chunks.clear();  // not the session whose upload began: all of it goes again
            break;
        } else {
            done += c.size;
            tell(upload_progress::checking, done);
        }
    }
    std::vector<size_t> to_send;
    for (size_t i = 0; i < plan.chunk_count(); ++i) {
        if (store_.aborted()) throw s3_aborted();
        if (record.chunk(uint32_t(i))) continue;
        const auto it = held.find(prefix + bucket_layout::chunk_name(i));
        if (it != held.end() && it->second.size == plan.chunk_size(i) &&
            etag_is_md5(it->second.etag)) {
            const std::string bytes = plan.chunk_bytes(i);
            const payload_digests d = digests_of(bytes);
            if (d.md5_hex == lower(it->second.etag)) {
                record.confirm({uint32_t(i), bytes.size(), d.sha256_hex, d.md5_hex});
                done += bytes.size();
                tell(upload_progress::checking, done);
                continue;
            }
        }
        to_send.push_back(i);
    }
    state_.save();

    const std::string manifest_object = prefix + bucket_layout::manifest_name;
    if (!to_send.empty() && held.count(manifest_object)) store_.delete_object(manifest_object);

    tell(upload_progress::sending, done);
    for (const size_t i : to_send) {
        const std::string bytes = plan.chunk_bytes(i);
        const payload_digests d = digests_of(bytes);
        const uint64_t before = result.bytes_sent;
        const std::string etag = store_.put_object(
            prefix + bucket_layout::chunk_name(i), bytes, "application/octet-stream",
            [&](uint64_t sent, uint64_t) {
                result.bytes_sent = before + sent;
                tell(upload_progress::sending, done + sent);
            },
            &d);
        result.bytes_sent = before + bytes.size();
        record.confirm({uint32_t(i), bytes.size(), d.sha256_hex,
                        etag_is_md5(etag) ? lower(etag) : std::string()});
        state_.save();
        ++result.chunks_sent;
        done += bytes.size();
        tell(upload_progress::sending, done);
    }

    // Objects under the prefix that are none of the session's are left-overs
    // of an earlier cut of it.
    std::set<std::string> ours{manifest_object};
    for (size_t i = 0; i < plan.chunk_count(); ++i)
        ours.insert(prefix + bucket_layout::chunk_name(i));
    for (const auto& [name, object] : held) {
        if (!ours.count(name)) store_.delete_object(name);
    }

    std::vector<std::string> digests;
    for (size_t i = 0; i < plan.chunk_count(); ++i)
        digests.push_back(record.chunk(uint32_t(i))->sha256);
    const std::string manifest = write_manifest(plan.manifest(digests));
    store_.put_object(manifest_object, manifest, "application/json");
    result.bytes_sent += manifest.size();

    // Verification: what the store holds against what was sent.
    tell(upload_progress::verifying, 0);
    const auto refuse = [&](const std::string& why) {
        state_.save();
        throw std::runtime_error("verifying " + prefix + " in the fleet store: " + why);
    };
    if (store_.get_object(manifest_object, manifest.size()) != manifest) {
        refuse("the manifest read back differs from the one sent");
    }
    uint64_t checked = 0;
    for (size_t i = 0; i < plan.chunk_count(); ++i) {
        const chunk_record& c = *record.chunk(uint32_t(i));
        const std::string name = prefix + bucket_layout::chunk_name(i);
        const auto head = store_.head_object(name);
        if (!head || head->size != c.size ||
            (etag_is_md5(head->etag) && !c.md5.empty() && lower(head->etag) != c.md5)) {
            record.forget(uint32_t(i));
            store_.delete_object(manifest_object);
            refuse(head ? name + " is not the chunk sent (size " + std::to_string(head->size) +
                              ", ETag " + head->etag + ")"
                        : name + " is missing");
        }
        checked += c.size;
        tell(upload_progress::verifying, checked);
    }
    record.stored = true;
    record.manifest_sha256 = sha256_hex(manifest);
    state_.save();
    return result;
}
