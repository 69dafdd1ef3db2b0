#include "rate_limit.h"

namespace mivra {

RateLimit::RateLimit(std::size_t count, Clock::duration span) : count_(count), span_(span) {}

bool RateLimit::allow(Clock::time_point now)
{
    while (!allowed_.empty() && now - allowed_.front() >= span_)
        allowed_.pop_front();
    if (allowed_.size() >= count_)
        return false;
    allowed_.push_back(now);
    return true;
}

}  // namespace mivra
