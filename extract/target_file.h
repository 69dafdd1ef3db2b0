#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace mivra {

// The WAV file being written. Every write reports failure, so a full disk or
// a vanished volume can never pass for a complete file.
class TargetFile {
public:
    // Creates the file, or empties the one already there.
    static std::optional<TargetFile> create(const std::string& path);

    TargetFile(TargetFile&& other) noexcept;
    TargetFile& operator=(TargetFile&&) = delete;
    ~TargetFile();

    bool append(std::span<const std::byte> bytes);
    bool overwriteStart(std::span<const std::byte> bytes);
    bool close();

    // Closes and deletes what was written. Only a regular file is deleted:
    // a device such as /dev/null given as target stays in place.
    void discard();

private:
    TargetFile(std::string path, int descriptor, bool regularFile);
    bool writeAt(std::span<const std::byte> bytes, const off_t* offset);

    std::string path_;
    int descriptor_;
    bool regularFile_;
};

// True when both paths exist and name the same file (hard and symbolic links included).
bool SameFile(const std::string& first, const std::string& second);

}  // namespace mivra
