#pragma once

// The fuzzer's input as a file, for readers that open one by name.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

class InputFile {
public:
    InputFile() : url_("file:/tmp/mivra-fuzz-XXXXXX") { fd_ = mkstemp(url_.data() + 5); }
    ~InputFile() { unlink(url_.c_str() + 5); }

    const char* write(const std::uint8_t* data, std::size_t size)
    {
        if (ftruncate(fd_, 0) != 0 || pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size))
            std::abort();
        return url_.c_str();
    }

private:
    std::string url_;
    int fd_;
};
