#include "runtime/worker_threads.h"

#include <stdexcept>

worker_threads::~worker_threads() {
    join_all();
}

void worker_threads::run(std::unique_ptr<wxThread> thread, const char* failure) {
    join_ended();
    if (!thread || thread->IsDetached() || thread->Run() != wxTHREAD_NO_ERROR) {
        throw std::runtime_error(failure);
    }
    threads_.push_back(std::move(thread));
}

void worker_threads::join_all() {
    for (auto& thread : threads_)
        thread->Wait();
    threads_.clear();
}

void worker_threads::join_ended() {
    std::erase_if(threads_, [](const std::unique_ptr<wxThread>& thread) {
        if (thread->IsAlive()) return false;
        thread->Wait();
        return true;
    });
}
