#include "target_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mivra {
namespace {

// Appends are gathered up to this size before they are written.
constexpr std::size_t kWriteSize = std::size_t{256} << 10;
// Chunks this large gain nothing from gathering and are written as they come.
constexpr std::size_t kDirectWriteSize = std::size_t{64} << 10;

}  // namespace

std::optional<TargetFile> TargetFile::create(const std::string& path)
{
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return std::nullopt;
    struct stat status {};
    const bool regularFile = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    return TargetFile(path, descriptor, regularFile);
}

TargetFile::TargetFile(std::string path, int descriptor, bool regularFile)
    : path_(std::move(path)), descriptor_(descriptor), regularFile_(regularFile)
{
}

TargetFile::TargetFile(TargetFile&& other) noexcept
    : path_(std::move(other.path_)), descriptor_(other.descriptor_), regularFile_(other.regularFile_),
      pending_(std::move(other.pending_))
{
    other.descriptor_ = -1;
}

TargetFile::~TargetFile()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

bool TargetFile::append(std::span<const std::byte> bytes)
{
    const bool direct = bytes.size() >= kDirectWriteSize;
    if ((direct || pending_.size() + bytes.size() > kWriteSize) && !flush())
        return false;
    if (direct)
        return writeAt(bytes, nullptr);
    if (pending_.capacity() < kWriteSize)
        pending_.reserve(kWriteSize);
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    return true;
}

bool TargetFile::overwriteStart(std::span<const std::byte> bytes)
{
    const off_t start = 0;
    return flush() && writeAt(bytes, &start);
}

bool TargetFile::flush()
{
    const bool written = writeAt(pending_, nullptr);
    pending_.clear();
    return written;
}

bool TargetFile::writeAt(std::span<const std::byte> bytes, const off_t* offset)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto* from = bytes.data() + done;
        const std::size_t count = bytes.size() - done;
        const ssize_t written = offset ? ::pwrite(descriptor_, from, count, *offset + static_cast<off_t>(done))
                                       : ::write(descriptor_, from, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool TargetFile::close()
{
    const bool flushed = flush();
    return closeDescriptor() && flushed;
}

bool TargetFile::closeDescriptor()
{
    const int descriptor = descriptor_;
    descriptor_ = -1;
    return ::close(descriptor) == 0;
}

void TargetFile::discard()
{
    if (descriptor_ >= 0)
        closeDescriptor();
    if (regularFile_)
        std::remove(path_.c_str());
}

bool SameFile(const std::string& first, const std::string& second)
{
    struct stat a {
    }, b{};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

}  // namespace mivra
