#include "target_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace mivra {

struct TargetIdentity {
    std::string path;
    // Where the path led when the file was opened: the file a symbolic link
    // names. Empty when it could not be resolved.
    std::string resolved;
    dev_t device;
    ino_t inode;
    bool regularFile;
    // A second descriptor of the file: it keeps the file taken after the
    // writing one is closed, and empties the file when it is removed.
    int descriptor;
    bool published = false;
};

namespace {

// Appends are gathered up to this size before they are written.
constexpr std::size_t kWriteSize = std::size_t{256} << 10;
// Chunks this large gain nothing from gathering and are written as they come.
constexpr std::size_t kDirectWriteSize = std::size_t{64} << 10;

// The target of the run, for the signal handler: a handler is given nothing
// but the signal number, so what it must remove has to be found here. It is
// the tool's only mutable global; it holds at most one target, published
// when the target is created and withdrawn when it goes.
std::atomic<TargetIdentity*> gPublishedTarget{nullptr};
static_assert(std::atomic<TargetIdentity*>::is_always_lock_free, "read from a signal handler");

constexpr int kTerminatingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Closes the descriptor on every early return of TargetFile::create.
class OwnedDescriptor {
public:
    explicit OwnedDescriptor(int descriptor) : descriptor_(descriptor) {}
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    ~OwnedDescriptor()
    {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }
    int get() const { return descriptor_; }
    int release() { return std::exchange(descriptor_, -1); }

private:
    int descriptor_;
};

// Another run writing the same file holds it: this one must not empty it.
// Where the file system offers no locks at all, the run goes on unguarded.
bool TakeForThisRun(int descriptor)
{
    return ::flock(descriptor, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

std::string Resolved(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? resolved : "";
}

bool SameIdentity(const struct stat& status, const TargetIdentity& identity)
{
    return status.st_dev == identity.device && status.st_ino == identity.inode;
}

// The name itself is this regular file (a symbolic link is never taken for it).
bool NamesTarget(const char* name, const TargetIdentity& identity)
{
    struct stat status {};
    return ::lstat(name, &status) == 0 && S_ISREG(status.st_mode) && SameIdentity(status, identity);
}

// Async-signal-safe: the signal handler runs it too. The file is emptied
// through its descriptor first, so that no partial data survives under a
// name the run does not know (a rename, a removed folder).
void RemoveWhereStillFound(const TargetIdentity& identity)
{
    if (!identity.regularFile)
        return;
    // Failing to empty it leaves only the removal to do.
    [[maybe_unused]] const int emptied = ::ftruncate(identity.descriptor, 0);
    for (const char* name : {identity.path.c_str(), identity.resolved.c_str()}) {
        if (NamesTarget(name, identity))
            ::unlink(name);
    }
}

// A signal handler has C linkage; static keeps the name in this file.
extern "C" {
static void RemoveTargetThenEnd(int signal)
{
    if (const TargetIdentity* target = gPublishedTarget.exchange(nullptr))
        RemoveWhereStillFound(*target);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    ::sigaction(signal, &defaults, nullptr);
    // Blocked until the handler returns; then it ends the process as it would have without a handler.
    ::raise(signal);
}
}

}  // namespace

void TargetIdentityRelease::operator()(TargetIdentity* identity) const
{
    TargetIdentity* published = identity;
    // Not withdrawn: a handler on another thread took it and is removing the
    // file, and the process ends when it returns. It must stay valid till then.
    if (identity->published && !gPublishedTarget.compare_exchange_strong(published, nullptr))
        return;
    const std::unique_ptr<TargetIdentity> owned(identity);
    ::close(owned->descriptor);
}

std::optional<TargetFile> TargetFile::create(const std::string& path)
{
    // No O_TRUNC: the file may be another run's, which is only known once it is open.
    OwnedDescriptor descriptor(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    struct stat status {};
    if (descriptor.get() < 0 || ::fstat(descriptor.get(), &status) != 0)
        return std::nullopt;
    // Devices are shared by nature (two runs may both write to /dev/null) and are never emptied.
    const bool regularFile = S_ISREG(status.st_mode);
    if (regularFile && !TakeForThisRun(descriptor.get()))
        return std::nullopt;
    OwnedDescriptor second(::fcntl(descriptor.get(), F_DUPFD_CLOEXEC, 0));
    if (second.get() < 0)
        return std::nullopt;
    std::unique_ptr<TargetIdentity, TargetIdentityRelease> identity(
        std::make_unique<TargetIdentity>(
            TargetIdentity{path, Resolved(path), status.st_dev, status.st_ino, regularFile, second.release()})
            .release());
    TargetIdentity* none = nullptr;
    identity->published = gPublishedTarget.compare_exchange_strong(none, identity.get());
    if (regularFile && ::ftruncate(descriptor.get(), 0) != 0)
        return std::nullopt;
    return TargetFile(descriptor.release(), std::move(identity));
}

TargetFile::TargetFile(int descriptor, std::unique_ptr<TargetIdentity, TargetIdentityRelease> identity)
    : descriptor_(descriptor), identity_(std::move(identity))
{
}

TargetFile::TargetFile(TargetFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), identity_(std::move(other.identity_)),
      pending_(std::move(other.pending_))
{
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

bool TargetFile::stillAtPath() const
{
    struct stat status {};
    return ::stat(identity_->path.c_str(), &status) == 0 && SameIdentity(status, *identity_);
}

void TargetFile::discard()
{
    if (descriptor_ >= 0)
        closeDescriptor();
    pending_.clear();
    RemoveWhereStillFound(*identity_);
}

bool SameFile(const std::string& first, const std::string& second)
{
    struct stat a {
    }, b{};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

void RemoveTargetOnTerminatingSignals()
{
    struct sigaction action {};
    action.sa_handler = RemoveTargetThenEnd;
    // One removal at a time: a second signal waits for the first handler to end the process.
    sigemptyset(&action.sa_mask);
    for (const int signal : kTerminatingSignals)
        sigaddset(&action.sa_mask, signal);
    for (const int signal : kTerminatingSignals)
        ::sigaction(signal, &action, nullptr);
}

}  // namespace mivra
