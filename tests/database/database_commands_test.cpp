// Delete, archive and relabel, checked on disk and in the catalogue.
#include "database/catalogue.h"
#include "database/database_commands.h"
#include "database/ldb_reader.h"
#include "support/sample_db.h"
#include "support/test_home.h"
#include "support/db_dump.h"

#include <gtest/gtest.h>
#include <leveldb/db.h>
#include <zip.h>

#include <filesystem>
#include <fstream>

namespace {

class database_commands_test : public testing::Test {
  protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear() { catalogue::instance().clear(); }
    std::string add(const std::string& name, const std::string& session) {
        const std::string path = home_ / name;
        make_database(path, {100, 105, 110}, session, "left");
        ldb_reader reader(path);
        catalogue::instance().append({reader.read_info(), path});
        return path;
    }
    test_home home_;
};

}  // namespace

TEST_F(database_commands_test, delete_removes_only_its_row_and_folder) {
    const auto a = add("a", "A"), b = add("b", "B"), c = add("c", "C");
    delete_database(b);
    EXPECT_FALSE(std::filesystem::exists(b));
    EXPECT_TRUE(std::filesystem::exists(a));
    const auto entries = catalogue::instance().snapshot();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].path, a);
    EXPECT_EQ(entries[1].path, c);
}

TEST_F(database_commands_test, the_archive_holds_the_folder_entry_then_every_file) {
    const auto path = add("2024.03.05 14.07.09", "A");
    const std::string zip_path = home_ / "out.zip";
    ASSERT_EQ(archive_database(path, zip_path).result, archive_outcome::written);

    int error = 0;
    zip_t* archive = zip_open(zip_path.c_str(), ZIP_RDONLY, &error);
    ASSERT_NE(archive, nullptr);
    const zip_int64_t n = zip_get_num_entries(archive, 0);
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(path))
        files += e.is_regular_file();
    ASSERT_EQ(size_t(n), files + 1);
    EXPECT_STREQ(zip_get_name(archive, 0, 0), "2024.03.05 14.07.09/");
    bool current = false;
    for (zip_int64_t i = 1; i < n; ++i) {
        const std::string name = zip_get_name(archive, i, 0);
        EXPECT_EQ(name.rfind("2024.03.05 14.07.09/", 0), 0u) << name;
        current = current || name == "2024.03.05 14.07.09/CURRENT";
        // Every entry holds its file's bytes.
        zip_stat_t st;
        zip_stat_index(archive, i, 0, &st);
        std::ifstream original(path + "/" + name.substr(20), std::ios::binary | std::ios::ate);
        EXPECT_EQ(zip_uint64_t(original.tellg()), st.size) << name;
    }
    EXPECT_TRUE(current);
    zip_close(archive);
    if (std::system("command -v unzip >/dev/null") == 0) {
        EXPECT_EQ(std::system(("unzip -tq '" + zip_path + "' >/dev/null").c_str()), 0);
    }
}

TEST_F(database_commands_test, archiving_lets_go_of_the_folder_the_station_read) {
    const auto path = add("db", "A");  // read, so the station caches its handle
    {
        ldb_reader reader(path);
        EXPECT_EQ(reader.read_count(), 3u);
    }
    ASSERT_EQ(archive_database(path, home_ / "out.zip").result, archive_outcome::written);
    // No other program is kept out of the folder once it is archived.
    leveldb::DB* raw = nullptr;
    const leveldb::Status opened = leveldb::DB::Open(leveldb::Options(), path, &raw);
    delete raw;
    EXPECT_TRUE(opened.ok()) << opened.ToString();
}

TEST_F(database_commands_test, an_archive_that_cannot_be_made_leaves_nothing) {
    const auto path = add("db", "A");
    const std::string zip_path = home_ / "no-such-folder/out.zip";
    const auto outcome = archive_database(path, zip_path);
    EXPECT_EQ(outcome.result, archive_outcome::not_created);
    EXPECT_EQ(outcome.message, L"Не удалось создать архив: " + wxString(zip_path));
    EXPECT_FALSE(std::filesystem::exists(zip_path));

    // An existing file stays as it was when the archive is abandoned: here a
    // file of the folder cannot be read (a link to nothing).
    const std::string kept = home_ / "kept.zip";
    std::ofstream(kept) << "old";
    std::filesystem::create_symlink(home_ / "nowhere", path + "/broken");
    EXPECT_NE(archive_database(path, kept).result, archive_outcome::written);
    std::ifstream in(kept);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "old");
}

TEST_F(database_commands_test, relabelling_keeps_frames_and_count_and_shows_at_once) {
    const auto path = add("db", "A : B");
    auto before = dump_database(path);
    replace_side(path, "правый");
    replace_session(path, "");
    auto after = dump_database(path);
    EXPECT_EQ(after["side"], "правый");
    EXPECT_EQ(after["session"], "");
    EXPECT_EQ(after["version"], "1");
    after["side"] = before["side"];
    after["session"] = before["session"];
    EXPECT_EQ(after, before);
    EXPECT_EQ(stored_session(path), "");
    const auto entries = catalogue::instance().snapshot();
    EXPECT_EQ(entries[0].info.side, "правый");
    EXPECT_EQ(entries[0].info.session, "");
}
