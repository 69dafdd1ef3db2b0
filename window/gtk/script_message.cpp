#include "script_message.h"

#include <string>
#include <string_view>

#include <glib.h>

namespace mivra {
namespace {

void ReadKey(JSCValue* body, const char* key, BridgeMessage& message)
{
    if (!jsc_value_object_has_property(body, key))
        return;
    g_autoptr(JSCValue) value = jsc_value_object_get_property(body, key);
    if (!jsc_value_is_string(value)) {
        message.nonStrings.insert(key);
        return;
    }
    // Read as bytes to see a NUL inside the string: no path or URL holds one,
    // and cut at the NUL it would name something else, so it counts as not a
    // string.
    g_autoptr(GBytes) bytes = jsc_value_to_string_as_bytes(value);
    gsize size = 0;
    const auto* text = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    const std::string_view string(text ? text : "", size);
    if (string.find('\0') != std::string_view::npos) {
        message.nonStrings.insert(key);
        return;
    }
    message.strings[key] = std::string(string);
}

}  // namespace

BridgeMessage MessageFromValue(JSCValue* body)
{
    BridgeMessage message;
    message.isObject = jsc_value_is_object(body) && !jsc_value_is_array(body);
    if (!message.isObject)
        return message;
    for (const std::string& key : MessageKeys())
        ReadKey(body, key.c_str(), message);
    return message;
}

}  // namespace mivra
