// Waiting in tests for something another thread does: never a fixed sleep
// where a condition can be watched.
#pragma once

#include <chrono>
#include <functional>

// Polls `done` every 10 ms until it holds or `limit` has passed; returns its
// last answer.
bool wait_until(const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(10));
