// A file system under the session databases that fails on demand, the way a
// full disk or a dying one does: while failing, every write, flush, sync and
// every new file answers an I/O error. Safe from any thread.
#pragma once

#include <leveldb/env.h>

#include <atomic>

class failing_env : public leveldb::EnvWrapper {
  public:
    failing_env();

    void fail(bool on) { failing_ = on; }
    bool failing() const { return failing_; }

    leveldb::Status NewWritableFile(const std::string& name,
                                    leveldb::WritableFile** result) override;
    leveldb::Status NewAppendableFile(const std::string& name,
                                      leveldb::WritableFile** result) override;

  private:
    std::atomic<bool> failing_{false};
};
