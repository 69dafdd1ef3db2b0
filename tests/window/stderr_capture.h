#pragma once
// Captures standard error, fully buffered, so that a record only shows once
// the code under test flushed it.

#include <unistd.h>

#include <cstdio>
#include <string>

namespace mivra::test {

class StderrCapture {
public:
    StderrCapture() : file_(std::tmpfile()), saved_(dup(fileno(stderr)))
    {
        std::fflush(stderr);
        dup2(fileno(file_), fileno(stderr));
        std::setvbuf(stderr, buffer_, _IOFBF, sizeof buffer_);
    }
    ~StderrCapture()
    {
        std::fflush(stderr);
        std::setvbuf(stderr, nullptr, _IONBF, 0);
        dup2(saved_, fileno(stderr));
        close(saved_);
        std::fclose(file_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // What reached the file so far, without flushing.
    std::string text() const
    {
        std::string all;
        char chunk[512];
        for (ssize_t n; (n = pread(fileno(file_), chunk, sizeof chunk, static_cast<off_t>(all.size()))) > 0;)
            all.append(chunk, static_cast<std::size_t>(n));
        return all;
    }

private:
    std::FILE* file_;
    int saved_;
    char buffer_[4096];
};

}  // namespace mivra::test
