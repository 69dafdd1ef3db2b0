#pragma once
// Lets an event through at most a given number of times in any span of time;
// what is refused is dropped, not queued.

#include <chrono>
#include <cstddef>
#include <deque>

namespace mivra {

class RateLimit {
public:
    using Clock = std::chrono::steady_clock;

    RateLimit(std::size_t count, Clock::duration span);

    // True, and counted, when fewer than `count` events were let through in
    // the span that ends at `now`.
    bool allow(Clock::time_point now);

private:
    std::size_t count_;
    Clock::duration span_;
    std::deque<Clock::time_point> allowed_;  // oldest first
};

}  // namespace mivra
