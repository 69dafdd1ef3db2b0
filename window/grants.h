#pragma once
// What the page asks the user to choose in an open panel (a project, a
// folder, a volume to read) and the granted list those choices fill. A
// project is granted at once, then copied off the main loop and opened from
// its copy.

#include <memory>
#include <string>
#include <vector>

#include "lifetime.h"
#include "places.h"
#include "project_copy.h"
#include "toolkit.h"

namespace mivra {

class Grants {
public:
    Grants(Toolkit& toolkit, Places places);
    // A copy still running would be cut short under its temporary name by the
    // end of the process: it is stopped and leaves nothing.
    ~Grants();
    Grants(const Grants&) = delete;
    Grants& operator=(const Grants&) = delete;

    void choose();
    void chooseFolder(const std::string& path, const std::string& pour);
    void grant(const std::string& path);
    void oublier(const std::string& path);
    void direLesAutorises();

private:
    // A cancelled panel calls nothing.
    void askForPath(const OpenPanelDescription& panel, std::function<void(const std::string&)> chosen);
    void keepAccess(const std::string& path);  // granted: accessed and recorded
    void projectChosen(const std::string& chosen);
    void copyEnded(const std::string& chosen, const CopyOutcome& copy);
    std::string grantStartFolder(const std::string& path) const;

    Toolkit& toolkit_;
    const Places places_;
    std::vector<std::string> granted_;
    int copiesInProgress_ = 0;  // as seen from the main loop: the window shows it is working
    std::shared_ptr<RunningCopies> copies_;
    Lifetime lifetime_;
};

}  // namespace mivra
