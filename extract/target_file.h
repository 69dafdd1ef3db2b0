#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mivra {

// Which file a run writes (device and inode), and where to find it again.
struct TargetIdentity;
struct TargetIdentityRelease {
    void operator()(TargetIdentity* identity) const;
};

// The WAV file being written. Appends are gathered into large writes, since
// decoders hand out a few kilobytes at a time. Every write reports failure,
// so a full disk or a vanished volume can never pass for a complete file.
// The file is known by its identity, not by its path: only that file is ever
// emptied or removed, whatever comes to the path during the run.
class TargetFile {
public:
    // Creates the file or opens the one already there, takes it for this run,
    // then empties it. Nullopt when it cannot be opened or emptied, or when
    // another run holds it (that run's file is left as it is).
    static std::optional<TargetFile> create(const std::string& path);

    TargetFile(TargetFile&& other) noexcept;
    TargetFile& operator=(TargetFile&&) = delete;
    ~TargetFile();

    // False when the bytes, or earlier ones still held back, cannot be written.
    bool append(std::span<const std::byte> bytes);
    // Writes what is held back, then the bytes at the start of the file.
    bool overwriteStart(std::span<const std::byte> bytes);
    // Writes what is held back and closes the file. The file stays taken
    // until this object goes, so that no other run empties it meanwhile.
    bool close();
    // True when the path (through symbolic links) still names the file written.
    bool stillAtPath() const;

    // Closes, empties and deletes what was written. Only a regular file is
    // deleted (a device such as /dev/null given as target stays in place), and
    // only where it is still found: at the path, or where the path pointed
    // when it was opened (the file a symbolic link names, never the link).
    void discard();

private:
    TargetFile(int descriptor, std::unique_ptr<TargetIdentity, TargetIdentityRelease> identity);
    bool flush();
    bool closeDescriptor();
    bool writeAt(std::span<const std::byte> bytes, const off_t* offset);

    int descriptor_;
    std::unique_ptr<TargetIdentity, TargetIdentityRelease> identity_;
    std::vector<std::byte> pending_;
};

// True when both paths exist and name the same file (hard and symbolic links included).
bool SameFile(const std::string& first, const std::string& second);

// From now on SIGINT, SIGTERM, SIGHUP and SIGQUIT remove the target being
// written, as a failure does, then end the process as that signal does.
void RemoveTargetOnTerminatingSignals();

}  // namespace mivra
