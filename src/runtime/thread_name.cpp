#include "runtime/thread_name.h"

#include <pthread.h>

#include <cstring>
#include <string>

void name_this_thread(const char* name) {
    constexpr size_t kLongest = 15;  // the kernel's limit, without the NUL
    const std::string kept(name, std::min(std::strlen(name), kLongest));
    pthread_setname_np(pthread_self(), kept.c_str());
}
