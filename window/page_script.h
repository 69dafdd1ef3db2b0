#pragma once
// Every script the window shell evaluates in the page, built in one place.

#include <string>
#include <string_view>
#include <vector>

namespace mivra {

// Fit to stand between double quotes in a script: backslash, double quote,
// line feed and carriage return escaped. Other bytes pass as they are: the
// toolkit makes each script valid text before the page sees it.
std::string EscapedPath(std::string_view path);
// The text as a double-quoted string literal, escaped as above.
std::string ScriptString(std::string_view text);

std::string OpenPathScript(std::string_view path);                   // window.__openPath("...")
std::string SetFolderScript(bool travail, std::string_view path);    // __setTravail / __setFolder
std::string GrantedScript(std::string_view path);                    // window.__granted("...")
std::string AutorisesScript(const std::vector<std::string>& paths);  // guarded, JSON array
std::string SurvolScript(bool hovering);                             // guarded, true / false

}  // namespace mivra
