// The fleet store against a real engine (Debian's Ceph RADOS Gateway, one
// node in this program's network namespace): a recorded session uploaded,
// verified, listed, fetched frame by frame and restored; uploads cut and
// resumed; and the store's faults and bad input, each with its clear error.
#include "database/catalogue.h"
#include "database/frame_lookup.h"
#include "database/ldb_format.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "fleet/bucket_layout.h"
#include "fleet/digest.h"
#include "fleet/fleet_store.h"
#include "fleet/s3_client.h"
#include "fleet/session_plan.h"
#include "fleet/session_upload.h"
#include "fleet/upload_state.h"
#include "runtime/text_encoding.h"
#include "support/db_dump.h"
#include "support/fleet_engine.h"
#include "support/fleet_sessions.h"
#include "support/program_run.h"
#include "support/private_network.h"
#include "support/sample_db.h"
#include "support/test_home.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

namespace {

using namespace std::chrono_literals;

class fleet_store_test : public testing::Test {
  protected:
    void SetUp() override {
        if (!private_network_failure().empty()) GTEST_SKIP() << private_network_failure();
        if (const std::string why = fleet_engine::unavailable(); !why.empty()) GTEST_SKIP() << why;
        engine_ = &fleet_engine::shared();
        state_file_ = home_ / "uploads.json";
    }

    s3_settings settings() const { return engine_settings(*engine_); }

    // A closed session of `frames` frames of the given size in a folder
    // named by its time.
    std::string session(const std::string& folder, size_t frames, cv::Size size = {640, 480},
                        const std::string& code = "A : B") {
        const std::string path = home_ / folder;
        make_database(path, session_keys(frames), code, to_narrow(L"левый"), true, size);
        return path;
    }

    upload_state state() const {
        return upload_state(state_file_, engine_->endpoint(), engine_->bucket());
    }
    // A copy of the state's record of a session, if there is one.
    std::optional<session_record> recorded(const std::string& path) const {
        const upload_state s = state();
        const session_record* r = s.find(path);
        return r ? std::optional<session_record>(*r) : std::nullopt;
    }
    bool stored(const std::string& path) const {
        const auto r = recorded(path);
        return r && r->stored;
    }

    upload_result upload(s3_client& client, const std::string& path, const std::string& vehicle,
                         const session_upload::report& progress = {}) {
        upload_state s = state();
        return session_upload(client, s, path, vehicle).run(progress);
    }

    std::map<std::string, std::string> client_env() const {
        return {{"AWS_ACCESS_KEY_ID", engine_->account().access_key},
                {"AWS_SECRET_ACCESS_KEY", engine_->account().secret_key}};
    }

    program_result client(std::vector<std::string> args) const {
        args.insert(args.begin(), {UNDERCAM_CLIENT, "fleet"});
        args.insert(args.begin() + 3,
                    {"--endpoint", engine_->endpoint(), "--bucket", engine_->bucket()});
        return run_program(args, client_env());
    }

    fleet_engine* engine_ = nullptr;
    test_home home_;
    std::string state_file_;
};

}  // namespace

TEST_F(fleet_store_test, a_recorded_session_goes_up_verified_and_comes_back_byte_for_byte) {
    const std::string path = session("2024.03.05 14.07.09", 60, {1600, 1200});
    s3_client store(settings());
    store.head_bucket();
    std::vector<upload_progress> seen;
    const upload_result r =
        upload(store, path, "rt1", [&](const upload_progress& p) { seen.push_back(p); });
    EXPECT_EQ(r.prefix, "rt1/left/20240305T140709/");
    ASSERT_GE(r.chunks, 2u) << "the session should need more than one chunk";
    EXPECT_EQ(r.chunks_sent, r.chunks);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().stage, upload_progress::verifying);
    EXPECT_EQ(seen.back().done, r.bytes);
    EXPECT_TRUE(stored(path));

    // An independent S3 client sees the layout, and every frame in its
    // chunk is the local store's, byte for byte.
    const auto listed = engine_->aws({"s3", "ls", "s3://" + engine_->bucket() + "/" + r.prefix});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("chunk-000001.bin"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("manifest.json"), std::string::npos) << listed.out;
    const std::string manifest_file = home_ / "manifest.json";
    ASSERT_EQ(engine_
                  ->aws({"s3", "cp", "s3://" + engine_->bucket() + "/" + r.prefix + "manifest.json",
                         manifest_file})
                  .status,
              0);
    const session_manifest m = read_manifest(file_bytes(manifest_file));
    const auto local = dump_database(path);
    std::vector<std::string> chunks;
    for (const auto& c : m.chunks) {
        const std::string file = home_ / c.name;
        ASSERT_EQ(
            engine_->aws({"s3", "cp", "s3://" + engine_->bucket() + "/" + r.prefix + c.name, file})
                .status,
            0);
        chunks.push_back(file_bytes(file));
    }
    ASSERT_EQ(m.frames.size(), 60u);
    for (const auto& f : m.frames) {
        EXPECT_EQ(chunks[f.chunk].substr(f.offset, f.length), local.at(frame_key(f.key))) << f.key;
    }
    for (const auto& [key, value] : m.metadata)
        EXPECT_EQ(local.at(key), value) << key;

    // Listed with its coverage, checked against the local record.
    fleet_store reader(store);
    const auto places = reader.sessions({"rt1", "", "20240305T000000", "20240305T235959"});
    ASSERT_EQ(places.size(), 1u);
    EXPECT_EQ(places[0].prefix, r.prefix);
    EXPECT_TRUE(reader.sessions({"rt1", "right", "", ""}).empty());
    EXPECT_TRUE(reader.sessions({"rt1", "", "20240306T000000", ""}).empty());
    ldb_info info;
    {
        ldb_reader db(path);
        info = db.read_info();
    }
    EXPECT_EQ(reader.check_stored(r.prefix, info), "");
    ldb_info other = info;
    other.count += 1;
    EXPECT_EQ(reader.check_stored(r.prefix, other), "the number of frames differs");

    // One frame, as the data service sends it.
    catalogue::instance().append({info, from_narrow(path)});
    const std::vector<uint8_t> served = catalogue_frame_png("A : B", 103);
    catalogue::instance().remove(from_narrow(path));
    EXPECT_EQ(reader.frame_png(m, 103), served);
    EXPECT_THROW(reader.frame_png(m, 99), std::runtime_error);
    EXPECT_THROW(reader.frame_png(m, m.dpp_end + 1), std::runtime_error);

    // The client tool: the row, the PNG, the restored database.
    const program_result list = client({"list", "--vehicle", "rt1", "--since", "2024-03-05"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("rt1\tleft\t20240305T140709\tA : B\t60\t100\t445\t5\t1\t"),
              std::string::npos)
        << list.out;
    const std::string png = home_ / "f.png";
    const program_result fetch =
        client({"fetch", "--vehicle", "rt1", "--side", "left", "--session-time", "20240305T140709",
                "--value", "103", "--out", png});
    ASSERT_EQ(fetch.status, 0) << fetch.err;
    const std::string png_bytes = file_bytes(png);
    EXPECT_EQ(std::vector<uint8_t>(png_bytes.begin(), png_bytes.end()), served);
    const program_result restore =
        client({"restore", "--vehicle", "rt1", "--side", "left", "--session-time",
                "2024.03.05 14.07.09", "--out-dir", home_ / "restored"});
    ASSERT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(dump_database(home_ / "restored/2024.03.05 14.07.09"), local);
    EXPECT_NO_THROW(ldb_reader(home_ / "restored/2024.03.05 14.07.09").read_info());
    EXPECT_NE(client({"restore", "--vehicle", "rt1", "--side", "left", "--session-time",
                      "20240305T140709", "--out-dir", home_ / "restored"})
                  .status,
              0);
    for (const auto& secret : {engine_->account().secret_key}) {
        EXPECT_EQ(
            (list.out + list.err + fetch.out + fetch.err + restore.out + restore.err).find(secret),
            std::string::npos);
    }

    // Relabelled, it goes up again as a new manifest over the same chunks.
    {
        ldb_writer w;
        w.open(path);
        w.put_session("A : C");
        w.release();
    }
    const upload_result again = upload(store, path, "rt1");
    EXPECT_EQ(again.chunks_sent, 0u);
    EXPECT_EQ(reader.manifest(r.prefix)->session, "A : C");
}

TEST_F(fleet_store_test, a_cut_upload_goes_on_from_the_first_chunk_not_confirmed) {
    const std::string path = session("2024.03.05 15.00.00", 90, {1600, 1200});
    s3_client store(settings());
    // Cut in the middle of the second chunk.
    const uint64_t first_chunk = session_plan(path, "cut1").chunk_size(0);
    size_t attempted = 0;
    try {
        upload(store, path, "cut1", [&](const upload_progress& p) {
            if (p.stage == upload_progress::sending && p.done > first_chunk + (4 << 20)) {
                store.abort();
            }
        });
        FAIL() << "the upload was not cut";
    } catch (const s3_aborted&) {
    }
    store.clear_abort();
    const auto cut = recorded(path);
    ASSERT_TRUE(cut.has_value());
    EXPECT_FALSE(cut->stored);
    ASSERT_EQ(cut->chunks.size(), 1u);
    attempted = cut->chunks.size() + 1;  // those confirmed, and the one cut in its middle
    fleet_store reader(store);
    EXPECT_FALSE(reader.manifest("cut1/left/20240305T150000/").has_value());

    const upload_result r = upload(store, path, "cut1");
    EXPECT_EQ(r.chunks_sent, r.chunks - 1);
    EXPECT_LE(attempted + r.chunks_sent, r.chunks + 1) << "more than one chunk sent twice";
    EXPECT_TRUE(stored(path));

    // With the state lost, the store's whole chunks are not sent again.
    std::filesystem::remove(state_file_);
    EXPECT_EQ(upload(store, path, "cut1").chunks_sent, 0u);
}

TEST_F(fleet_store_test, the_gateway_killed_mid_upload_of_500_mb_and_started_again_it_finishes) {
    const std::string path = home_ / "2024.03.05 16.00.00";
    make_large_session(path, 800, 640 << 10);
    s3_client store(settings());
    bool killed = false;
    try {
        upload(store, path, "kill1", [&](const upload_progress& p) {
            if (!killed && p.stage == upload_progress::sending && p.done > (250 << 20)) {
                killed = true;
                engine_->kill_gateway();
            }
        });
        FAIL() << "the upload went on without its gateway";
    } catch (const s3_error& e) {
        EXPECT_TRUE(e.transient()) << e.what();
    }
    const size_t attempted = recorded(path)->chunks.size() + 1;
    engine_->start();
    const upload_result r = upload(store, path, "kill1");
    EXPECT_EQ(r.bytes, uint64_t(800) * (640 << 10));
    EXPECT_LE(attempted + r.chunks_sent, r.chunks + 1) << "more than one chunk sent twice";
    fleet_store reader(store);
    const auto m = reader.manifest(r.prefix);
    ASSERT_TRUE(m.has_value());
    const std::string restored = reader.restore(*m, home_ / "restored");
    EXPECT_EQ(database_digest(restored), database_digest(path));
    std::filesystem::remove_all(restored);
    std::filesystem::remove_all(path);
    for (const auto& c : m->chunks)
        store.delete_object(r.prefix + c.name);
}

TEST_F(fleet_store_test, unfinished_chunks_are_deleted_and_stored_ones_are_not) {
    const std::string path = session("2024.03.05 17.00.00", 70, {1600, 1200});
    s3_client store(settings());
    try {
        upload(store, path, "del1", [&](const upload_progress& p) {
            if (p.stage == upload_progress::sending && p.done > (18 << 20)) store.abort();
        });
        FAIL();
    } catch (const s3_aborted&) {
    }
    store.clear_abort();
    fleet_store reader(store);
    const std::string prefix = "del1/left/20240305T170000/";
    EXPECT_GE(reader.delete_unfinished(prefix), 1u);
    EXPECT_TRUE(store.list(prefix).objects.empty());

    upload(store, path, "del1");
    EXPECT_EQ(reader.delete_unfinished(prefix), 0u);
    EXPECT_TRUE(reader.manifest(prefix).has_value());
}

TEST_F(fleet_store_test, wrong_keys_a_missing_bucket_and_a_refusing_endpoint_are_clear_errors) {
    const std::string path = session("2024.03.05 18.00.00", 3);
    s3_settings wrong = settings();
    wrong.secret_key = "not-the-secret-key-at-all";
    s3_client bad_keys(wrong);
    try {
        bad_keys.head_bucket();
        FAIL();
    } catch (const s3_error& e) {
        EXPECT_EQ(e.status(), 403) << e.what();
        EXPECT_FALSE(e.transient());
    }
    try {
        upload(bad_keys, path, "bad1");
        FAIL();
    } catch (const s3_error& e) {
        EXPECT_EQ(std::string(e.what()), "S3 list of " + engine_->bucket() +
                                             "/bad1/left/20240305T180000/: the store answered 403 "
                                             "SignatureDoesNotMatch");
        EXPECT_EQ(std::string(e.what()).find(wrong.secret_key), std::string::npos);
    }
    s3_settings unknown = settings();
    unknown.access_key = "NOSUCHKEY";
    try {
        s3_client(unknown).head_object("x");
        FAIL();
    } catch (const s3_error& e) {
        EXPECT_EQ(e.status(), 403) << e.what();
    }
    EXPECT_FALSE(stored(path));

    s3_settings missing = settings();
    missing.bucket = "no-such-bucket";
    s3_client nowhere(missing);
    try {
        nowhere.head_bucket();
        FAIL();
    } catch (const s3_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "S3 HEAD of the bucket no-such-bucket: the store answered 404: no such bucket");
    }
    try {
        nowhere.put_object("a/b.bin", "x", "application/octet-stream");
        FAIL();
    } catch (const s3_error& e) {
        EXPECT_EQ(e.code(), "NoSuchBucket") << e.what();
    }

    s3_settings closed = settings();
    closed.endpoint = "http://127.0.0.1:1";
    try {
        upload(*std::make_unique<s3_client>(closed), path, "bad1");
        FAIL();
    } catch (const s3_error& e) {
        EXPECT_TRUE(e.transient());
        EXPECT_NE(std::string(e.what()).find("Couldn't connect"), std::string::npos) << e.what();
    }
}

TEST_F(fleet_store_test, a_store_that_fails_or_hangs_leaves_the_session_unstored_until_it_answers) {
    const std::string path = session("2024.03.05 19.00.00", 3);
    s3_client store(settings());
    engine_->slow_down();
    try {
        upload(store, path, "busy1");
        ADD_FAILURE() << "the busy store took the upload";
    } catch (const s3_error& e) {
        EXPECT_EQ(e.status(), 503) << e.what();
        EXPECT_TRUE(e.transient());
        EXPECT_NE(std::string(e.what()).find("503 SlowDown"), std::string::npos) << e.what();
    }
    engine_->speed_up();
    EXPECT_FALSE(stored(path));

    s3_settings impatient = settings();
    impatient.stall_timeout = 1s;
    s3_client hurried(impatient);
    engine_->pause_store();
    const auto start = std::chrono::steady_clock::now();
    try {
        upload(hurried, path, "busy1");
        ADD_FAILURE() << "the paused store took the upload";
    } catch (const s3_error& e) {
        EXPECT_TRUE(e.transient()) << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    engine_->resume_store();
    EXPECT_FALSE(stored(path));
    upload(store, path, "busy1");
    EXPECT_TRUE(stored(path));
}

TEST_F(fleet_store_test, a_chunk_changed_in_the_store_is_not_taken_as_confirmed) {
    const std::string path = session("2024.03.05 20.00.00", 4);
    s3_client store(settings());
    const upload_result r = upload(store, path, "etag1");
    const std::string name = r.prefix + bucket_layout::chunk_name(0);
    const std::string bytes = store.get_object(name, 64 << 20);
    std::string changed = bytes;
    changed[changed.size() / 2] ^= 1;
    const std::string file = home_ / "changed.bin";
    std::ofstream(file, std::ios::binary) << changed;
    ASSERT_EQ(engine_->aws({"s3", "cp", file, "s3://" + engine_->bucket() + "/" + name}).status, 0);
    EXPECT_NE(md5_hex(changed), md5_hex(bytes));

    EXPECT_EQ(upload(store, path, "etag1").chunks_sent, 1u);
    EXPECT_EQ(store.get_object(name, 64 << 20), bytes);
}

TEST_F(fleet_store_test, a_manifest_that_is_no_json_or_lies_is_refused_with_its_reason) {
    const std::string path = session("2024.03.05 21.00.00", 4);
    s3_client store(settings());
    const upload_result r = upload(store, path, "lie1");
    fleet_store reader(store);
    const std::string good = write_manifest(*reader.manifest(r.prefix));
    const auto put = [&](const std::string& text) {
        store.put_object(r.prefix + "manifest.json", text, "application/json");
    };
    put("<html>not json</html>");
    try {
        reader.manifest(r.prefix);
        FAIL();
    } catch (const manifest_error& e) {
        EXPECT_EQ(std::string(e.what()), r.prefix +
                                             "manifest.json: manifest: not JSON: JSON: value "
                                             "expected at byte 0");
    }
    const program_result list = client({"list", "--vehicle", "lie1"});
    EXPECT_EQ(list.status, 1);
    EXPECT_NE(list.err.find("manifest.json: manifest: not JSON"), std::string::npos) << list.err;

    std::string lying = good;
    const size_t size = lying.find("\"size\": ") + 8;
    lying.insert(size, "1");
    put(lying);
    EXPECT_THROW(reader.manifest(r.prefix), manifest_error);
    const program_result restore =
        client({"restore", "--vehicle", "lie1", "--side", "left", "--session-time",
                "20240305T210000", "--out-dir", home_ / "restored"});
    EXPECT_EQ(restore.status, 1);
    EXPECT_FALSE(std::filesystem::exists(home_ / "restored/2024.03.05 21.00.00"));

    // Elsewhere than it says.
    put(good);
    store.put_object("lie1/left/20240305T210001/manifest.json", good, "application/json");
    EXPECT_THROW(reader.manifest("lie1/left/20240305T210001/"), manifest_error);
}

TEST_F(fleet_store_test, odd_characters_in_a_session_code_go_up_and_come_back_unchanged) {
    const std::string code = "A/B?&=%20 : \"\\\n\t\x01\xFF\xC0 " + to_narrow(L"Сеанс");
    const std::string path = session("2024.03.05 22.00.00", 3, {640, 480}, code);
    s3_client store(settings());
    const upload_result r = upload(store, path, "odd1");
    fleet_store reader(store);
    EXPECT_EQ(reader.manifest(r.prefix)->session, code);
    ldb_reader db(path);
    EXPECT_EQ(reader.check_stored(r.prefix, db.read_info()), "");
    const program_result list = client({"list", "--vehicle", "odd1"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find("A/B?&=%20 : \"\\x5c\\x0a\\x09\\x01\\xff\\xc0 Сеанс\t3\t"),
              std::string::npos)
        << list.out;
    const program_result mine = client({"list", "--vehicle", "odd1", "--session", code});
    EXPECT_EQ(std::count(mine.out.begin(), mine.out.end(), '\n'), 2) << mine.out;
}

TEST_F(fleet_store_test, https_with_a_self_signed_certificate_needs_its_ca_file) {
    const std::string path = session("2024.03.05 23.00.00", 3);
    s3_settings tls = settings();
    tls.endpoint = engine_->https_endpoint();
    try {
        s3_client(tls).head_bucket();
        FAIL() << "a self-signed certificate was trusted";
    } catch (const s3_error& e) {
        EXPECT_NE(std::string(e.what()).find("SSL certificate problem"), std::string::npos)
            << e.what();
        EXPECT_FALSE(e.transient());
    }
    tls.ca_file = engine_->ca_file();
    s3_client store(tls);
    store.head_bucket();
    upload(store, path, "tls1");
    EXPECT_TRUE(stored(path));
}

TEST_F(fleet_store_test, a_rate_limited_upload_keeps_its_rate_and_stops_at_once) {
    const std::string path = session("2024.03.06 00.00.00", 20, {1600, 1200});
    s3_settings slow = settings();
    slow.max_rate = 1024;  // KB/s
    s3_client store(slow);
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point asked;
    uint64_t sent_then = 0;
    try {
        upload(store, path, "rate1", [&](const upload_progress& p) {
            if (p.stage != upload_progress::sending || store.aborted()) return;
            if (std::chrono::steady_clock::now() - start > 2s) {
                sent_then = p.sent;
                asked = std::chrono::steady_clock::now();
                store.abort();
            }
        });
        FAIL();
    } catch (const s3_aborted&) {
    }
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
    // Sent at most the rate's worth (with libcurl's burst allowance).
    const double seconds = std::chrono::duration<double>(asked - start).count();
    EXPECT_LT(double(sent_then), (seconds + 1) * 1024 * 1024) << sent_then << " in " << seconds;
}
