#include "downloads.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "note.h"
#include "places.h"

namespace mivra {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDownloadTitle = "Enregistrer le telechargement";
constexpr const char* kDownloadFallbackName = "telechargement";
// Hidden, and unlike any name the page suggests.
// mkstemps fills in the Xs before the suffix.
constexpr std::string_view kDownloadTemporaryStem = ".Mivra-telechargement-XXXXXX";
constexpr std::string_view kDownloadTemporarySuffix = ".partiel";

// Only the name of what the page suggests, never a place: a download cannot
// land outside the folder the user picks.
std::string DownloadName(const std::string& suggested)
{
    const std::string name = fs::path(suggested).filename().string();
    return name.empty() || name == "." || name == ".." ? kDownloadFallbackName : name;
}

std::string ReplaceQuestion(const std::string& name)
{
    return "Un element nomme \u00AB " + name + " \u00BB existe deja. Voulez-vous le remplacer ?";
}

void RemoveFile(const std::string& path)
{
    std::error_code error;
    if (fs::is_regular_file(fs::symlink_status(path, error)))
        fs::remove(path, error);
}

}  // namespace

Downloads::Downloads(Toolkit& toolkit, std::string downloadsFolder)
    : toolkit_(toolkit), downloadsFolder_(std::move(downloadsFolder))
{
}

// Quitting or closing the window ends the process next.
Downloads::~Downloads()
{
    for (const auto& [written, chosen] : written_)
        RemoveFile(written);
}

void Downloads::decide(const std::string& suggestedName, const DownloadDestination& destination)
{
    askForPath(downloadsFolder_, DownloadName(suggestedName), destination);
}

// A download asked for while the window goes is dropped.
void Downloads::askForPath(const std::string& folder, const std::string& name, const DownloadDestination& destination)
{
    SavePanelDescription panel{kDownloadTitle, folder, name, "Enregistrer"};
    const auto drop = [destination](const std::optional<std::string>&) { destination(std::nullopt); };
    toolkit_.showSavePanel(panel, lifetime_.whileAlive(
                                      [this, destination](const std::optional<std::string>& path) {
                                          if (!path)
                                              destination(std::nullopt);
                                          else if (!Exists(*path))
                                              write(*path, destination);
                                          else
                                              askToReplace(*path, destination);
                                      },
                                      drop));
}

// A name already taken is replaced only once the user says so; otherwise the
// panel comes back to pick another.
void Downloads::askToReplace(const std::string& chosen, const DownloadDestination& destination)
{
    const fs::path path(chosen);
    const std::string name = path.filename().string();
    const auto drop = [destination](bool) { destination(std::nullopt); };
    toolkit_.askToConfirm(ReplaceQuestion(name), "Remplacer",
                          lifetime_.whileAlive(
                              [this, destination, path, name](bool replace) {
                                  if (replace)
                                      write(path.string(), destination);
                                  else
                                      askForPath(path.parent_path().string(), name, destination);
                              },
                              drop));
}

// Written under a temporary name in the chosen folder, so that the file of
// the chosen name is replaced only by a complete download, in one rename.
void Downloads::write(const std::string& chosen, const DownloadDestination& destination)
{
    const std::string name = std::string(kDownloadTemporaryStem) + std::string(kDownloadTemporarySuffix);
    std::string written = (fs::path(chosen).parent_path() / name).string();
    const int fd = ::mkstemps(written.data(), static_cast<int>(kDownloadTemporarySuffix.size()));
    if (fd < 0) {
        const int error = errno;
        Note("telechargement impossible : " + chosen + " : " + std::strerror(error));
        destination(std::nullopt);
        return;
    }
    ::close(fd);
    written_.emplace(written, chosen);
    destination(written);
}

void Downloads::finished(const std::string& written)
{
    const auto download = written_.extract(written);
    if (download.empty())
        return;
    std::error_code error;
    fs::rename(written, download.mapped(), error);
    if (error)
        Note("telechargement laisse sous " + written + " : " + error.message());
}

void Downloads::failed(const std::string& written)
{
    if (written_.erase(written) != 0)
        RemoveFile(written);
}

}  // namespace mivra
