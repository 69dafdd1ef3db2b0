#pragma once
// The three launch settings, read once from the command line and fixed for the run.

#include <string>

namespace mivra {

struct LaunchSettings {
    std::string url = "http://127.0.0.1:8790/";  // the interface URL
    std::string projetAuLancement;               // empty: none given
    std::string icon;                            // empty: none given
};

// argv[0] is the program; argv[1] a URL or a launch project; argv[2] the icon.
LaunchSettings ReadLaunchSettings(int argc, const char* const* argv);

// The desktop keeps one running window per application id: the default
// interface has the plain id (the desktop entry's), any other interface URL an
// id of its own derived from it, so a window on another interface is its own.
std::string ApplicationId(const std::string& url);

}  // namespace mivra
