// The session manifest: its exact form, and a reader that refuses every
// manifest that is malformed or contradicts itself.
#include "fleet/bucket_layout.h"
#include "fleet/manifest.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// A consistent manifest of frames of the given lengths at keys 100, 105, ...
// cut into chunks as `cuts` says (the number of frames of each chunk).
session_manifest sample(const std::vector<uint64_t>& lengths, const std::vector<size_t>& cuts) {
    session_manifest m;
    m.vehicle = "V-1";
    m.side = "left";
    m.folder = "2024.03.05 14.07.09";
    m.session = "A : B";
    m.time_start = 1709647629;
    m.time_end = 1709647700;
    std::vector<uint32_t> keys;
    size_t frame = 0;
    for (size_t c = 0; c < cuts.size(); ++c) {
        uint64_t offset = 0;
        for (size_t i = 0; i < cuts[c]; ++i, ++frame) {
            const uint32_t key = 100 + 5 * uint32_t(frame) + (frame >= 3 ? 20 : 0);
            m.frames.push_back({key, uint32_t(c), offset, lengths[frame]});
            keys.push_back(key);
            offset += lengths[frame];
        }
        m.chunks.push_back({bucket_layout::chunk_name(c), offset, std::string(64, 'a' + char(c))});
    }
    m.dpp_start = keys.front();
    m.dpp_end = keys.back();
    m.count = keys.size();
    m.metadata = {
        {"count", "0000000004"},      {"dpp_end", "0000000135"}, {"dpp_start", "0000000100"},
        {"session", "A : B"},         {"side", "левый"},         {"time_end", "1709647700"},
        {"time_start", "1709647629"}, {"version", "1"}};
    m.cover = coverage_of(keys);
    return m;
}

session_manifest four_frames() {
    return sample({10, 20, 30, 40}, {2, 2});
}

std::string refusal(const std::string& text) {
    try {
        read_manifest(text);
    } catch (const manifest_error& e) {
        return e.what();
    }
    return "accepted";
}

std::string refusal(const std::function<void(session_manifest&)>& change) {
    session_manifest m = four_frames();
    change(m);
    return refusal(write_manifest(m));
}

}  // namespace

TEST(fleet_manifest, is_written_in_one_form_and_read_back_whole) {
    const session_manifest m = sample({10, 20}, {2});
    const std::string text = write_manifest(m);
    EXPECT_EQ(
        text.rfind(
            "{\n  \"version\": 1,\n  \"vehicle\": \"V-1\",\n  \"side\": \"left\",\n"
            "  \"folder\": \"2024.03.05 14.07.09\",\n  \"session\": \"A : B\",\n"
            "  \"time_start\": 1709647629,\n  \"time_end\": 1709647700,\n"
            "  \"dpp_start\": 100,\n  \"dpp_end\": 105,\n  \"count\": 2,\n  \"metadata\": {\n",
            0),
        0u)
        << text;
    EXPECT_NE(
        text.find("  \"coverage\": {\"frames\": 2, \"first\": 100, \"last\": 105, \"span\": 5, "
                  "\"step\": 5, \"gaps\": [], \"covered\": 1},\n"),
        std::string::npos);
    EXPECT_NE(text.find("  \"frames\": [\n    [\"0000000100\", 0, 0, 10],\n"
                        "    [\"0000000105\", 0, 10, 20]\n  ]\n}\n"),
              std::string::npos);

    const session_manifest four = four_frames();
    const session_manifest back = read_manifest(write_manifest(four));
    EXPECT_EQ(write_manifest(back), write_manifest(four));
    EXPECT_EQ(back.prefix(), "V-1/left/20240305T140709/");
    EXPECT_EQ(back.cover.gaps.size(), 1u);
    EXPECT_EQ(*back.stored("side"), "левый");
    ASSERT_NE(back.frame_at_or_after(106), nullptr);
    EXPECT_EQ(back.frame_at_or_after(106)->key, 110u);
    EXPECT_EQ(back.frame_at_or_after(136), nullptr);
}

TEST(fleet_manifest, texts_that_are_not_utf8_keep_every_byte) {
    session_manifest m = four_frames();
    m.session = "\xC0\xE1 : \x01\xFF";
    for (auto& [key, value] : m.metadata) {
        if (key == "session") value = m.session;
    }
    const session_manifest back = read_manifest(write_manifest(m));
    EXPECT_EQ(back.session, m.session);
    EXPECT_EQ(*back.stored("session"), m.session);
}

TEST(fleet_manifest, reader_refuses_a_manifest_that_lies_about_its_chunks_and_frames) {
    EXPECT_NE(refusal([](auto& m) { m.chunks[0].size += 1; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.chunks[1].size -= 1; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.frames[1].offset = 11; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.frames[3].length = 1000; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { std::swap(m.frames[2].key, m.frames[3].key); }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.frames[1].key = m.frames[0].key; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.frames[3].chunk = 5; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.frames[2].chunk = 0; }), "accepted");
    EXPECT_NE(refusal([](auto& m) {
                  m.chunks.push_back({bucket_layout::chunk_name(2), 0, m.chunks[0].sha256});
              }),
              "accepted");
    EXPECT_NE(refusal([](auto& m) { m.chunks[1].name = "../../x"; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.chunks[0].sha256 = "abc"; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.frames.pop_back(); }), "accepted");
    EXPECT_EQ(refusal([](auto& m) { m.count = 5; }), "manifest: count is not the number of frames");
    EXPECT_EQ(refusal([](auto& m) { m.chunks[0].size += 1; }),
              "manifest: chunks[0] is not the sum of its frames' lengths");
}

TEST(fleet_manifest, reader_refuses_figures_that_are_not_the_frames_and_metadata) {
    EXPECT_NE(refusal([](auto& m) { m.dpp_start = 99; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.dpp_end = 136; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.session = "A : C"; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.time_start = 1; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.time_end.reset(); }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.cover.covered = 1; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.cover.gaps.clear(); }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.cover.step = 4; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.metadata.push_back({"0000000200", "x"}); }), "accepted");
    EXPECT_NE(refusal([](auto& m) { std::swap(m.metadata[0], m.metadata[1]); }), "accepted");
    // Where it says it lies: a folder that is no session's time, or a path.
    EXPECT_NE(refusal([](auto& m) { m.folder = "../2024.03.05 14.07.09"; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.vehicle = "a/b"; }), "accepted");
    EXPECT_NE(refusal([](auto& m) { m.side = "левый"; }), "accepted");
}

TEST(fleet_manifest, reader_refuses_what_is_not_its_shape) {
    const std::string good = write_manifest(four_frames());
    EXPECT_EQ(refusal("<html>"), "manifest: not JSON: JSON: value expected at byte 0");
    EXPECT_NE(refusal(good.substr(0, good.size() / 2)), "accepted");
    std::string extra = good;
    extra.insert(2, "\"extra\": 1, ");
    EXPECT_EQ(refusal(extra), "manifest: the document has an unknown member \"extra\"");
    std::string version = good;
    version.replace(version.find("\"version\": 1"), 12, "\"version\": 2");
    EXPECT_EQ(refusal(version), "manifest: version 2 is not one this program reads");
    std::string number = good;
    number.replace(number.find("\"count\": 4"), 10, "\"count\": \"4\"");
    EXPECT_EQ(refusal(number), "manifest: count is not a whole number of 0 or more");
    EXPECT_EQ(refusal("[]"), "manifest: the document is not an object");
    // Ten digits, but no odometer value.
    std::string big = good;
    big.replace(big.rfind("\"0000000"), 11, "\"9999999999");
    EXPECT_EQ(refusal(big), "manifest: frames[3] key is above 4294967295");
    // A chunk over 16 MiB is one large frame alone.
    EXPECT_EQ(refusal(write_manifest(sample({bucket_layout::chunk_limit + 1, 5}, {1, 1}))),
              "accepted");
    EXPECT_NE(refusal(write_manifest(sample({bucket_layout::chunk_limit, 5}, {2}))), "accepted");
}
