#include "support/failing_env.h"

#include <memory>
#include <thread>

namespace {

leveldb::Status injected() {
    return leveldb::Status::IOError("injected", "No space left on device");
}

class failing_file : public leveldb::WritableFile {
  public:
    failing_file(leveldb::WritableFile* file, const failing_env& env) : file_(file), env_(env) {}
    leveldb::Status Append(const leveldb::Slice& data) override {
        if (env_.failing()) return injected();
        std::this_thread::sleep_for(env_.per_append());
        return file_->Append(data);
    }
    leveldb::Status Close() override { return file_->Close(); }
    leveldb::Status Flush() override { return env_.failing() ? injected() : file_->Flush(); }
    leveldb::Status Sync() override { return env_.failing() ? injected() : file_->Sync(); }

  private:
    std::unique_ptr<leveldb::WritableFile> file_;
    const failing_env& env_;
};

}  // namespace

failing_env::failing_env() : leveldb::EnvWrapper(leveldb::Env::Default()) {}

leveldb::Status failing_env::NewWritableFile(const std::string& name,
                                             leveldb::WritableFile** result) {
    if (failing_) return injected();
    leveldb::WritableFile* file = nullptr;
    const leveldb::Status status = target()->NewWritableFile(name, &file);
    if (status.ok()) *result = new failing_file(file, *this);
    return status;
}

leveldb::Status failing_env::NewAppendableFile(const std::string& name,
                                               leveldb::WritableFile** result) {
    if (failing_) return injected();
    leveldb::WritableFile* file = nullptr;
    const leveldb::Status status = target()->NewAppendableFile(name, &file);
    if (status.ok()) *result = new failing_file(file, *this);
    return status;
}
