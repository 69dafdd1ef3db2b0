#pragma once
// Downloads the page starts: where each one goes, asked of the user, and a
// file of the chosen name replaced only by a complete download.

#include <map>
#include <string>

#include "lifetime.h"
#include "toolkit.h"
#include "toolkit_events.h"

namespace mivra {

class Downloads {
public:
    Downloads(Toolkit& toolkit, std::string downloadsFolder);
    // Downloads still running are cut short: their temporary files go.
    ~Downloads();
    Downloads(const Downloads&) = delete;
    Downloads& operator=(const Downloads&) = delete;

    // `destination` is called once, with the path to write (a temporary file
    // beside the one the user chose), or with nothing when the download must
    // be dropped unwritten.
    void decide(const std::string& suggestedName, const DownloadDestination& destination);
    // A complete download takes the chosen name, replacing what had it; one
    // that failed leaves no part of it and the file it was to replace as it was.
    void finished(const std::string& written);
    void failed(const std::string& written);

private:
    void askForPath(const std::string& folder, const std::string& name, const DownloadDestination& destination);
    void askToReplace(const std::string& chosen, const DownloadDestination& destination);
    void write(const std::string& chosen, const DownloadDestination& destination);

    Toolkit& toolkit_;
    const std::string downloadsFolder_;
    std::map<std::string, std::string> written_;  // temporary file -> the name the user chose
    Lifetime lifetime_;
};

}  // namespace mivra
