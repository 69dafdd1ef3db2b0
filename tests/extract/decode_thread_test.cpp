#include "ffmpeg/decode_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

namespace mivra::ffmpeg {
namespace {

constexpr int kFrameSamples = 1024;
constexpr std::size_t kFrameBytes = kFrameSamples * 2 * sizeof(std::int32_t);

// Stereo 32-bit frames numbered in their pts, then one failed step, or the
// decoder running out of memory.
class CountingSource final : public StepSource {
public:
    explicit CountingSource(int frames, bool outOfMemory = false) : frames_(frames), outOfMemory_(outOfMemory) {}

    DecodedStep next() override
    {
        const int index = produced++;
        if (index == frames_ && outOfMemory_)
            throw std::bad_alloc();
        if (index == frames_)
            return {.kind = DecodedStep::Kind::failed, .error = AVERROR(EIO)};
        DecodedStep step{.kind = DecodedStep::Kind::frame, .frame = Frame(av_frame_alloc())};
        step.frame->format = AV_SAMPLE_FMT_S32;
        step.frame->nb_samples = kFrameSamples;
        av_channel_layout_default(&step.frame->ch_layout, 2);
        EXPECT_EQ(av_frame_get_buffer(step.frame.get(), 0), 0);
        step.frame->pts = index;
        return step;
    }

    std::atomic<int> produced = 0;

private:
    const int frames_;
    const bool outOfMemory_;
};

void WaitUntilStill(const std::atomic<int>& counter)
{
    for (int last = -1; last != counter.load();) {
        last = counter.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

TEST(DecodeThread, HandsOverEveryStepInOrderThenTheFailure)
{
    constexpr int kFrames = 5000;
    for (const bool outOfMemory : {false, true}) {
        CountingSource source(kFrames, outOfMemory);
        DecodeThread thread(source);
        for (int i = 0; i < kFrames; ++i) {
            const DecodedStep step = thread.next();
            ASSERT_EQ(step.kind, DecodedStep::Kind::frame);
            ASSERT_EQ(step.frame->pts, i);
        }
        const DecodedStep last = thread.next();
        EXPECT_EQ(last.kind, DecodedStep::Kind::failed);
        EXPECT_EQ(last.error, AVERROR(outOfMemory ? ENOMEM : EIO));
    }
}

// Then, destroyed while the decoder waits for room, it stops the decoder there.
TEST(DecodeThread, RunsAheadOfASlowConsumerByAFixedAmountOnly)
{
    constexpr int kConsumed = 2000;
    // What the decoder may hold: the consumer's batch and a full queue, each
    // passed by at most one step, and the step it is queueing.
    const int bound = static_cast<int>(2 * (DecodeThread::kFullBytes / kFrameBytes + 1) + 1);
    CountingSource source(100000);
    {
        DecodeThread thread(source);
        for (int consumed = 0; consumed < kConsumed; consumed += 500) {
            WaitUntilStill(source.produced);
            EXPECT_LE(source.produced - consumed, bound);
            for (int i = 0; i < 500; ++i)
                thread.next();
        }
        WaitUntilStill(source.produced);
    }
    const int produced = source.produced;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(source.produced, produced);
    EXPECT_LE(produced - kConsumed, bound);
}

}  // namespace
}  // namespace mivra::ffmpeg
