#include "project_copy.h"

#include <fcntl.h>
#include <unistd.h>
#include <uuid/uuid.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "project_names.h"

namespace mivra {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBlockSize = 1 << 20;
constexpr const char* kStoppedReason = "copy stopped";

std::string UppercaseUuid()
{
    uuid_t uuid;
    uuid_generate_random(uuid);
    char text[37];  // 36 characters and the terminator
    uuid_unparse_upper(uuid, text);
    return text;
}

// The chosen item's own name; a path with no last component (the root) gets a
// generic project name.
std::string LastComponent(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const std::string name = fs::path(trimmed).filename().string();
    return name.empty() || name == "/" ? PackageName("projet") : name;
}

// True when the folder lies inside the item or is the item itself.
bool Contains(const fs::path& item, const fs::path& folder)
{
    std::error_code itemError;
    std::error_code folderError;
    const fs::path outer = fs::weakly_canonical(item, itemError);
    const fs::path inner = fs::weakly_canonical(folder, folderError);
    if (itemError || folderError)
        return false;
    const fs::path below = inner.lexically_relative(outer);
    return !below.empty() && *below.begin() != "..";
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // The error of closing a written file counts: the data may not be there.
    bool close()
    {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

std::error_code LastError()
{
    return {errno, std::generic_category()};
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Block by block, so that a stop never waits for a whole large media file.
std::error_code CopyFile(const fs::path& from, const fs::path& to, fs::perms mode, const std::atomic<bool>& stop)
{
    Descriptor source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (source.get() < 0)
        return LastError();
    Descriptor target(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode)));
    if (target.get() < 0)
        return LastError();
    std::vector<char> block(kBlockSize);
    while (!stop) {
        const ssize_t got = ::read(source.get(), block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return LastError();
        if (got == 0)
            return target.close() ? std::error_code{} : LastError();
        if (!WriteAll(target.get(), block.data(), static_cast<std::size_t>(got)))
            return LastError();
    }
    return std::make_error_code(std::errc::operation_canceled);
}

// Folders, files and symbolic links (copied as links); anything else fails.
std::error_code CopyItem(const fs::path& from, const fs::path& to, const std::atomic<bool>& stop)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(from, error);
    if (error)
        return error;
    if (stop)
        return std::make_error_code(std::errc::operation_canceled);
    if (fs::is_symlink(status)) {
        fs::copy_symlink(from, to, error);
        return error;
    }
    if (fs::is_regular_file(status))
        return CopyFile(from, to, status.permissions(), stop);
    if (!fs::is_directory(status))
        return std::make_error_code(std::errc::not_supported);
    if (!fs::create_directory(to, error) && !error)
        error = std::make_error_code(std::errc::file_exists);
    for (fs::directory_iterator entry(from, error), end; !error && entry != end; entry.increment(error)) {
        if (const std::error_code failed = CopyItem(entry->path(), to / entry->path().filename(), stop))
            return failed;
    }
    return error;
}

}  // namespace

bool RunningCopies::enter()
{
    const std::lock_guard lock(mutex_);
    if (stop_)
        return false;
    ++running_;
    return true;
}

void RunningCopies::leave()
{
    const std::lock_guard lock(mutex_);
    --running_;
    left_.notify_all();
}

void RunningCopies::stopAndWait()
{
    std::unique_lock lock(mutex_);
    stop_ = true;
    left_.wait(lock, [this] { return running_ == 0; });
}

CopyOutcome CopyToTemporaryFolder(const std::string& chosen, const std::string& temporaryFolder,
                                  const std::atomic<bool>& stop)
{
    // A copy into itself would never end: choosing "/" or the home folder
    // would fill the disk before failing.
    if (Contains(chosen, temporaryFolder))
        return CopyFailure{"the temporary folder lies inside the chosen item"};
    const std::string uuid = UppercaseUuid();
    const fs::path folder(temporaryFolder);
    const fs::path destination = folder / ("Mivra-import-" + uuid + "-" + LastComponent(chosen));
    const fs::path partial = folder / (".Mivra-import-" + uuid + ".partiel");
    std::error_code error = CopyItem(chosen, partial, stop);
    if (!error)
        fs::rename(partial, destination, error);
    if (error) {
        std::error_code ignored;
        fs::remove_all(partial, ignored);
        return CopyFailure{stop ? kStoppedReason : error.message()};
    }
    return destination.string();
}

}  // namespace mivra
