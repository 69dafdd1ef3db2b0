#pragma once

// Decoding on a thread of its own, a bounded queue of steps ahead of the
// thread that makes the output, so that both cores work on one run.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "decoded_step.h"

namespace mivra::ffmpeg {

// How a run that decodes uses the machine: everything on the calling thread,
// or decoding on a thread of its own (with frame threads in the decoder where
// nothing is resampled) ahead of the converting and writing. Both give the
// same output.
enum class Threading { one, pipelined };

// The threads one run uses besides the calling one.
struct ThreadPlan {
    bool decodeThread = false;  // decoding ahead on a DecodeThread
    bool frameThreads = false;  // two frame threads in the decoder
};

// Copying packets costs less than handing them to another thread. Frame
// threads pay off where decoding is all that is left beside packing and
// writing; a run that resamples already keeps the second core busy.
ThreadPlan PlanThreads(Threading threading, bool copiesPackets, bool resamples);

class DecodeThread final : public StepSource {
public:
    // The queue holds a fixed amount whatever the rate or the frame size: the
    // decoder stops once kFullBytes of samples or kFullSteps steps are queued,
    // and the consumer, once it has nothing left, sleeps until a batch (a
    // quarter of that) or the last step is queued. Each side is woken once per
    // batch, never per frame.
    static constexpr std::size_t kFullBytes = std::size_t{256} * 1024;
    static constexpr std::size_t kFullSteps = 256;

    // Starts pulling steps from source, which the thread alone uses from then
    // on; throws std::system_error when no thread can be started.
    explicit DecodeThread(StepSource& source);

    // Stops the thread after the step it is decoding, and waits for it.
    ~DecodeThread() override;

    DecodeThread(const DecodeThread&) = delete;
    DecodeThread& operator=(const DecodeThread&) = delete;

    DecodedStep next() override;

private:
    void run();
    bool queue(DecodedStep step);
    bool takeQueued();
    bool full() const { return queuedBytes_ >= kFullBytes || queued_.size() >= kFullSteps; }
    bool batchReady() const { return queuedBytes_ >= kFullBytes / 4 || queued_.size() >= kFullSteps / 4; }

    StepSource& source_;
    std::mutex mutex_;
    std::condition_variable stepsQueued_;
    std::condition_variable spaceFreed_;
    std::deque<DecodedStep> queued_;
    std::size_t queuedBytes_ = 0;
    bool lastQueued_ = false;
    bool outOfMemory_ = false;
    bool consumerWaiting_ = false;
    bool producerWaiting_ = false;
    bool stopping_ = false;
    // The consumer's batch, taken from the queue in one go.
    std::deque<DecodedStep> taken_;
    std::thread thread_;
};

}  // namespace mivra::ffmpeg
