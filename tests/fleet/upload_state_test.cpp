// The upload state file: kept whole through replacement, private, and only
// for the store it was written for.
#include "fleet/upload_state.h"
#include "support/test_home.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

session_record sample_record(const std::string& folder) {
    session_record r;
    r.folder = folder;
    r.prefix = "V1/left/20240305T140709/";
    r.frames_sha256 = std::string(64, 'f');
    r.confirm({1, 200, std::string(64, 'b'), std::string(32, 'd')});
    r.confirm({0, 100, std::string(64, 'a'), ""});
    return r;
}

mode_t mode_of(const std::string& path) {
    struct stat s {};
    ::stat(path.c_str(), &s);
    return s.st_mode & 0777;
}

}  // namespace

TEST(upload_state, records_survive_a_save_and_stay_private) {
    test_home home;
    const std::string file = default_state_file(home.path());
    EXPECT_EQ(file, home / "Dunmere/fleet/uploads.json");
    const std::string odd_folder = home / "записи/\xFF 2024.03.05 14.07.09";
    {
        upload_state state(file, "http://127.0.0.1:7480/", "fleet");
        EXPECT_EQ(state.load_problem(), "");
        state.record(odd_folder) = sample_record(odd_folder);
        state.record(home / "other").stored = true;
        state.save();
    }
    EXPECT_EQ(mode_of(file), 0600u);
    EXPECT_EQ(mode_of(home / "Dunmere/fleet"), 0700u);
    EXPECT_FALSE(std::filesystem::exists(file + ".new"));

    upload_state again(file, "http://127.0.0.1:7480", "fleet");
    EXPECT_EQ(again.load_problem(), "");
    ASSERT_EQ(again.records().size(), 2u);
    const session_record* r = again.find(odd_folder);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->prefix, "V1/left/20240305T140709/");
    ASSERT_EQ(r->chunks.size(), 2u);
    EXPECT_EQ(r->chunks[0].index, 0u);
    EXPECT_EQ(r->chunk(1)->md5, std::string(32, 'd'));
    EXPECT_FALSE(r->stored);
    EXPECT_TRUE(again.find(home / "other")->stored);
    again.erase(odd_folder);
    EXPECT_EQ(again.find(odd_folder), nullptr);
}

TEST(upload_state, another_endpoint_or_bucket_starts_afresh_and_a_bad_file_is_set_aside) {
    test_home home;
    const std::string file = home / "uploads.json";
    {
        upload_state state(file, "http://a:1", "fleet");
        state.record("/x") = sample_record("/x");
        state.save();
    }
    EXPECT_TRUE(upload_state(file, "http://b:1", "fleet").records().empty());
    EXPECT_TRUE(upload_state(file, "http://a:1", "other").records().empty());
    EXPECT_EQ(upload_state(file, "http://a:1", "fleet").records().size(), 1u);

    std::ofstream(file) << "{\"version\": 1, \"endpoint\": \"http://a:1\", \"bucket\": \"fleet\", "
                           "\"sessions\": [{\"folder\": 3}]}";
    upload_state broken(file, "http://a:1", "fleet");
    EXPECT_TRUE(broken.records().empty());
    EXPECT_NE(broken.load_problem().find("not a state file"), std::string::npos);
}

TEST(upload_state, a_state_that_cannot_be_written_says_so_and_keeps_the_old_file) {
    test_home home;
    const std::string file = home / "state/uploads.json";
    upload_state state(file, "http://a:1", "fleet");
    state.record("/x") = sample_record("/x");
    state.save();
    std::filesystem::create_directory(file + ".new");  // the temporary cannot be made
    state.record("/y");
    try {
        state.save();
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind(
                      "the fleet store's state " + file + " cannot be written", 0),
                  0u)
            << e.what();
    }
    EXPECT_EQ(upload_state(file, "http://a:1", "fleet").records().size(), 1u);
}
