#include <unistd.h>

#include <chrono>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "extraction.h"
#include "ffmpeg/ffmpeg_media.h"
#include "target_file.h"

int main(int argc, char** argv)
{
    // A file-size limit or a closed pipe then fails the write itself, which the
    // run reports and cleans up after, instead of killing it with a partial file.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    mivra::RemoveTargetOnTerminatingSignals();
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto media = mivra::ffmpeg::MakeMediaFramework();
    // Progress is for someone watching a terminal; a caller reading the
    // error stream from a pipe or a file gets the messages alone.
    const mivra::ProgressLine::Clock terminalClock =
        isatty(STDERR_FILENO) ? mivra::ProgressLine::Clock(std::chrono::steady_clock::now) : nullptr;
    return mivra::RunExtraction(arguments, *media, std::cout, std::cerr, terminalClock);
}
