// A file system under the session databases that fails on demand, the way a
// full disk or a dying one does: while failing, every write, flush, sync and
// every new file answers an I/O error. It can also be slow, the way a busy
// card is: every append then takes at least the given time. Safe from any
// thread.
#pragma once

#include <leveldb/env.h>

#include <atomic>
#include <chrono>

class failing_env : public leveldb::EnvWrapper {
  public:
    failing_env();

    void fail(bool on) { failing_ = on; }
    bool failing() const { return failing_; }
    void slow(std::chrono::milliseconds per_append) { per_append_ = per_append.count(); }
    std::chrono::milliseconds per_append() const { return std::chrono::milliseconds(per_append_); }

    leveldb::Status NewWritableFile(const std::string& name,
                                    leveldb::WritableFile** result) override;
    leveldb::Status NewAppendableFile(const std::string& name,
                                      leveldb::WritableFile** result) override;

  private:
    std::atomic<bool> failing_{false};
    std::atomic<long> per_append_{0};
};
