#include "script_message.h"

#include <array>

#include <glib.h>

namespace mivra {
namespace {

constexpr std::array kReadKeys = {"action", "path", "pour", "url"};

void ReadKey(JSCValue* body, const char* key, BridgeMessage& message)
{
    if (!jsc_value_object_has_property(body, key))
        return;
    g_autoptr(JSCValue) value = jsc_value_object_get_property(body, key);
    if (!jsc_value_is_string(value)) {
        message.nonStrings.insert(key);
        return;
    }
    g_autofree char* text = jsc_value_to_string(value);
    message.strings[key] = text;
}

}  // namespace

BridgeMessage MessageFromValue(JSCValue* body)
{
    BridgeMessage message;
    message.isObject = jsc_value_is_object(body) && !jsc_value_is_array(body);
    if (!message.isObject)
        return message;
    for (const char* key : kReadKeys)
        ReadKey(body, key, message);
    return message;
}

}  // namespace mivra
