#include "page_script.h"

#include <glib.h>
#include <json-glib/json-glib.h>

namespace mivra {

namespace {

// File names on Linux may hold any bytes; the page only takes UTF-8.
std::string ValidUtf8(std::string_view text)
{
    g_autofree char* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    return valid;
}

std::string Quoted(std::string_view path)
{
    return "\"" + EscapedPath(path) + "\"";
}

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
    std::string escaped;
    for (char c : ValidUtf8(path)) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '"': escaped += "\\\""; break;
        case '\n': escaped += "\\n"; break;
        // A bare carriage return would end the string literal in the page.
        case '\r': escaped += "\\r"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string OpenPathScript(std::string_view path)
{
    return Call("__openPath", Quoted(path));
}

std::string SetFolderScript(bool travail, std::string_view path)
{
    return Call(travail ? "__setTravail" : "__setFolder", Quoted(path));
}

std::string GrantedScript(std::string_view path)
{
    return Call("__granted", Quoted(path));
}

std::string AutorisesScript(const std::vector<std::string>& paths)
{
    g_autoptr(JsonBuilder) builder = json_builder_new();
    json_builder_begin_array(builder);
    for (const std::string& path : paths)
        json_builder_add_string_value(builder, ValidUtf8(path).c_str());
    json_builder_end_array(builder);

    g_autoptr(JsonNode) array = json_builder_get_root(builder);
    g_autoptr(JsonGenerator) generator = json_generator_new();
    json_generator_set_root(generator, array);
    g_autofree char* json = json_generator_to_data(generator, nullptr);
    return GuardedCall("__autorises", json != nullptr ? json : "[]");
}

std::string SurvolScript(bool hovering)
{
    return GuardedCall("__survol", hovering ? "true" : "false");
}

}  // namespace mivra
