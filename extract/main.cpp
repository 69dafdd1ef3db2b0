#include <iostream>
#include <string>
#include <vector>

#include "extraction.h"
#include "ffmpeg/ffmpeg_media.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto media = mivra::ffmpeg::MakeMediaFramework();
    return mivra::RunExtraction(arguments, *media, std::cout, std::cerr);
}
