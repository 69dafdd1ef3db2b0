#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mivra {

// The WAV file being written. Appends are gathered into large writes, since
// decoders hand out a few kilobytes at a time. Every write reports failure,
// so a full disk or a vanished volume can never pass for a complete file.
class TargetFile {
public:
    // Creates the file, or empties the one already there.
    static std::optional<TargetFile> create(const std::string& path);

    TargetFile(TargetFile&& other) noexcept;
    TargetFile& operator=(TargetFile&&) = delete;
    ~TargetFile();

    // False when the bytes, or earlier ones still held back, cannot be written.
    bool append(std::span<const std::byte> bytes);
    // Writes what is held back, then the bytes at the start of the file.
    bool overwriteStart(std::span<const std::byte> bytes);
    // Writes what is held back and closes the file.
    bool close();

    // Closes and deletes what was written. Only a regular file is deleted:
    // a device such as /dev/null given as target stays in place.
    void discard();

private:
    TargetFile(std::string path, int descriptor, bool regularFile);
    bool flush();
    bool closeDescriptor();
    bool writeAt(std::span<const std::byte> bytes, const off_t* offset);

    std::string path_;
    int descriptor_;
    bool regularFile_;
    std::vector<std::byte> pending_;
};

// True when both paths exist and name the same file (hard and symbolic links included).
bool SameFile(const std::string& first, const std::string& second);

}  // namespace mivra
