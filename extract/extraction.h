#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>

#include "media.h"
#include "progress_line.h"

namespace mivra {

// The largest data chunk for which data size + 36 still fits the 32-bit
// RIFF chunk size; used for the estimate and for the running check alike.
inline constexpr std::uint64_t kDataSizeLimit = 4'294'967'259;
inline constexpr double kDefaultSampleRate = 48000.0;

// One run of mivra-extract. `arguments` are those after the program's name;
// the result is the exit status. With a clock, `err` is a terminal: the run
// shows its progress there while it copies.
int RunExtraction(std::span<const std::string> arguments, MediaFramework& media, std::ostream& out, std::ostream& err,
                  const ProgressLine::Clock& terminalClock = {});

}  // namespace mivra
