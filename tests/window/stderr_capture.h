#pragma once
// Captures standard error in a memory stream, which shows a record only once
// the code under test flushed it.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace mivra::test {

class StderrCapture {
public:
    StderrCapture() : saved_(std::exchange(stderr, open_memstream(&text_, &size_))) {}
    ~StderrCapture()
    {
        std::fclose(std::exchange(stderr, saved_));
        std::free(text_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    std::string text() const { return std::string(text_ ? text_ : "", size_); }

private:
    char* text_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* saved_;
};

}  // namespace mivra::test
