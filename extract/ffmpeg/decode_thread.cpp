#include "decode_thread.h"

#include <new>

namespace mivra::ffmpeg {

ThreadPlan PlanThreads(Threading threading, bool copiesPackets, bool resamples)
{
    const bool decodeThread = threading == Threading::pipelined && !copiesPackets;
    return {.decodeThread = decodeThread, .frameThreads = decodeThread && !resamples};
}

DecodeThread::DecodeThread(StepSource& source) : source_(source), thread_(&DecodeThread::run, this) {}

DecodeThread::~DecodeThread()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    spaceFreed_.notify_one();
    thread_.join();
}

DecodedStep DecodeThread::next()
{
    if (taken_.empty() && !takeQueued())
        return {.kind = DecodedStep::Kind::failed, .error = AVERROR(ENOMEM)};
    DecodedStep step = std::move(taken_.front());
    taken_.pop_front();
    return step;
}

void DecodeThread::run()
{
    try {
        for (;;) {
            DecodedStep step = source_.next();
            const bool last = step.last();
            if (!queue(std::move(step)) || last)
                return;
        }
    } catch (const std::bad_alloc&) {
        // An exception would end the process with the target half written;
        // the consumer fails the run instead, and nothing more is allocated here.
        {
            const std::lock_guard lock(mutex_);
            outOfMemory_ = true;
            lastQueued_ = true;
        }
        stepsQueued_.notify_one();
    }
}

// Queues one step; false when the consumer has gone.
bool DecodeThread::queue(DecodedStep step)
{
    std::unique_lock lock(mutex_);
    queuedBytes_ += step.bytes();
    lastQueued_ = step.last();
    queued_.push_back(std::move(step));
    if (consumerWaiting_ && (lastQueued_ || batchReady()))
        stepsQueued_.notify_one();
    if (full() && !lastQueued_) {
        producerWaiting_ = true;
        spaceFreed_.wait(lock, [this] { return stopping_ || !full(); });
        producerWaiting_ = false;
    }
    return !stopping_;
}

// Takes all that is queued, once there is a batch of it or the end; false
// when nothing is left because the thread ran out of memory.
bool DecodeThread::takeQueued()
{
    std::unique_lock lock(mutex_);
    if (!lastQueued_ && !batchReady()) {
        consumerWaiting_ = true;
        stepsQueued_.wait(lock, [this] { return lastQueued_ || batchReady(); });
        consumerWaiting_ = false;
    }
    taken_.swap(queued_);
    queuedBytes_ = 0;
    if (producerWaiting_)
        spaceFreed_.notify_one();
    return !taken_.empty() || !outOfMemory_;
}

}  // namespace mivra::ffmpeg
