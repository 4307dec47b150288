// Coverage by distance against a bare pass over the same million keys, side
// by side in one run: in memory (the keys of a session), and from a session
// database (the keys read through the store's iterator).
#include "bench_util.h"
#include "database/coverage.h"
#include "database/ldb_format.h"

#include <leveldb/write_batch.h>

#include <filesystem>
#include <random>
#include <unistd.h>

namespace {

// A million keys, 5 counts apart with a little jitter, and a gap now and then.
std::vector<uint32_t> track(size_t n) {
    std::mt19937 random(5);
    std::vector<uint32_t> keys;
    keys.reserve(n);
    uint32_t k = 1000;
    for (size_t i = 0; i < n; ++i) {
        keys.push_back(k);
        k += 5 + (random() % 10 == 0 ? 1 : 0);
        if (random() % 5000 == 0) k += 5 * (2 + random() % 50);
    }
    return keys;
}

}  // namespace

int main() {
    const std::vector<uint32_t> keys = track(1000000);
    uint64_t sink = 0;
    const auto memory = compare(
        15, [&] { sink += coverage_of(keys).gaps.size(); },
        [&] {
            // The bare pass: every consecutive difference, summed.
            uint64_t sum = 0;
            for (size_t i = 1; i < keys.size(); ++i)
                sum += keys[i] - keys[i - 1];
            sink += sum;
        });
    std::printf("in memory: coverage %.2f ms, bare pass %.2f ms\n", memory.ours_ms, memory.bare_ms);

    const auto folder =
        std::filesystem::temp_directory_path() / ("undercam-cbench-" + std::to_string(getpid()));
    {
        auto db = open_bare_store(folder.string());
        leveldb::WriteBatch batch;
        for (size_t i = 0; i < keys.size(); ++i) {
            batch.Put(frame_key(keys[i]), "j");
            if (i % 10000 == 9999) {
                db->Write(leveldb::WriteOptions(), &batch);
                batch.Clear();
            }
        }
        db->Write(leveldb::WriteOptions(), &batch);
        db->Put(leveldb::WriteOptions(), "version", "1");
    }
    const auto stored = compare(
        7, [&] { sink += coverage_of_database(folder.string()).gaps.size(); },
        [&] {
            // The bare pass: open the store and visit every frame key.
            auto db = open_bare_store(folder.string());
            std::unique_ptr<leveldb::Iterator> it(db->NewIterator(leveldb::ReadOptions()));
            for (it->SeekToFirst(); it->Valid() && it->key().size() == 10; it->Next())
                sink += uint8_t(it->key()[9]);
        });
    std::printf("from a database: coverage %.2f ms, bare iteration %.2f ms\n", stored.ours_ms,
                stored.bare_ms);
    std::filesystem::remove_all(folder);
    std::printf("\nratios:\n");
    std::printf("  in memory        %.3f (coverage / bare pass over the keys)\n", memory.ratio());
    std::printf("  from a database  %.3f (coverage / bare iteration of the store, goal <= 1.5)\n",
                stored.ratio());
    return sink == 42 ? 1 : 0;
}
