// The timeline arithmetic on any values a file may state.
#include <fuzzer/FuzzedDataProvider.h>

#include "../../extract/presented_timeline.h"
#include "../../extract/timeline.h"

using Limits = std::numeric_limits<std::int64_t>;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    std::vector<mivra::EditSegment> segments(input.ConsumeIntegralInRange<std::size_t>(0, 16));
    for (mivra::EditSegment& segment : segments) {
        if (input.ConsumeBool())
            segment.mediaStart = input.ConsumeIntegral<std::int64_t>();
        segment.length = input.ConsumeIntegral<std::int64_t>();
    }
    mivra::StatedTrim trim;
    mivra::StatedEnd end(input.ConsumeBool() ? std::optional(input.ConsumeIntegral<std::int64_t>()) : std::nullopt);
    mivra::Concealment concealment;
    mivra::TimestampGaps gaps;
    const bool ordered = mivra::PresentedTimeline::InMediaOrder(segments);
    mivra::PresentedTimeline timeline(std::move(segments));
    std::int64_t position = 0;
    while (input.remaining_bytes() > 0) {
        const std::int64_t count = input.ConsumeIntegralInRange<std::int64_t>(0, Limits::max());
        trim.stateStartSkip(input.ConsumeIntegral<std::int64_t>());
        trim.keep(count, input.ConsumeBool(), input.ConsumeIntegral<std::int64_t>());
        end.keep(count);
        concealment.lost(input.ConsumeIntegral<std::int64_t>());
        concealment.failedPacket(input.ConsumeIntegral<std::int64_t>());
        concealment.silenceBeforeGoodFrames(count);
        concealment.tooDamagedSoFar();
        const double rate = input.ConsumeFloatingPointInRange(1.0, 1e6);
        gaps.covered(input.ConsumeIntegral<std::int64_t>(), rate);
        gaps.lostBefore(input.ConsumeBool() ? std::optional(input.ConsumeFloatingPointInRange(0.0, 1e4)) : std::nullopt,
                        count, rate);
        if (ordered) {
            timeline.presentedSilence(position, input.ConsumeIntegralInRange<std::int64_t>(0, Limits::max()));
            while (timeline.next(position, count)) {}
        }
        position = std::max(position, input.ConsumeIntegralInRange<std::int64_t>(0, Limits::max()));
    }
    return 0;
}
