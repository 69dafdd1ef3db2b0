#pragma once
// The names a project goes by: the package folder's suffix and the files the
// window accepts as projects.

#include <string>
#include <string_view>

namespace mivra {

// A folder whose name ends in this suffix, in any ASCII case, is one project.
inline constexpr std::string_view kPackageSuffix = ".fcpxmld";

// The package suffix appended to a base name.
std::string PackageName(std::string_view base);

bool HasPackageSuffix(std::string_view name);

// True when the name ends in one of the suffixes of a project file or package.
bool HasProjectSuffix(std::string_view name);

}  // namespace mivra
