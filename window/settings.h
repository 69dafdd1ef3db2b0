#pragma once
// The three launch settings, read once from the command line and fixed for the run.

#include <string>
#include <vector>

namespace mivra {

struct LaunchSettings {
    std::string url = "http://127.0.0.1:8790/";  // the interface URL
    std::string projetAuLancement;               // empty: none given
    std::string icon;                            // empty: none given
    // The user set one of the variables that choose how WebKit renders: the
    // window then never changes the rendering itself.
    bool renderingSetByUser = false;
};

// The arguments after the program's name, as text: the platform hands an
// argument it cannot read as text (not valid UTF-8) as an empty one, which
// counts as not given. The first is a URL or a launch project, the second the icon.
LaunchSettings ReadLaunchSettings(const std::vector<std::string>& arguments);

// Whether the environment holds one of WebKit's or Mesa's rendering variables.
bool RenderingSetByUser();

}  // namespace mivra
