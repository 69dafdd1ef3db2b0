#include "page_script.h"

#include <nlohmann/json.hpp>

#include "text_escape.h"

namespace mivra {

namespace {

// window.FUNCTION(ARGUMENT)
std::string Call(std::string_view function, std::string_view argument)
{
    return "window." + std::string(function) + "(" + std::string(argument) + ")";
}

// The same call, made only when the page defines the function.
std::string GuardedCall(std::string_view function, std::string_view argument)
{
    return "window." + std::string(function) + " && " + Call(function, argument);
}

}  // namespace

std::string EscapedPath(std::string_view path)
{
    // A bare carriage return would end the string literal in the page.
    return Replaced(path, {{'\\', "\\\\"}, {'"', "\\\""}, {'\n', "\\n"}, {'\r', "\\r"}});
}

std::string ScriptString(std::string_view text)
{
    // Appended rather than "\"" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) on the prepend.
    std::string literal = "\"";
    return literal.append(EscapedPath(text)).append("\"");
}

std::string OpenPathScript(std::string_view path)
{
    return Call("__openPath", ScriptString(path));
}

std::string SetFolderScript(bool travail, std::string_view path)
{
    return Call(travail ? "__setTravail" : "__setFolder", ScriptString(path));
}

std::string GrantedScript(std::string_view path)
{
    return Call("__granted", ScriptString(path));
}

std::string AutorisesScript(const std::vector<std::string>& paths)
{
    // File names may hold any bytes; JSON holds only UTF-8, so invalid bytes are replaced.
    const std::string array = nlohmann::json(paths).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return GuardedCall("__autorises", array);
}

std::string SurvolScript(bool hovering)
{
    return GuardedCall("__survol", hovering ? "true" : "false");
}

}  // namespace mivra
