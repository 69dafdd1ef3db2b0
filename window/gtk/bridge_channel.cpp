#include "bridge_channel.h"

#include <string>
#include <string_view>

#include <glib.h>

#include "glib_ownership.h"
#include "page_script.h"

namespace mivra {
namespace {

// WebKitGTK hands a script message over with neither its frame nor its
// origin, and a channel registered in the page's world exists in every frame
// of it: a cross-origin, data: or sandboxed iframe could post on it. So the
// channel is registered in a script world of our own, which page scripts
// cannot enter, and only a user script injected into the top frame runs in
// that world. A second top-frame script gives the page's world the usual
// `window.webkit.messageHandlers.native.postMessage`; it hands each message to
// the first through an event on the top document, which no other frame's
// script can reach. A frame of the interface's own origin can reach it, as it
// can script the top page itself; the sender's address is checked against
// the interface's origin on arrival.
//
// The relay copies only the keys the bridge reads, as strings (any other
// value as null, so the message is still refused as a whole): a message with
// millions of keys is never cloned whole across processes.
constexpr const char* kWorld = "mivra-bridge";
constexpr const char* kEvent = "mivra-native-message";

std::string KeysLiteral()
{
    std::string list;
    for (const std::string& key : MessageKeys())
        list += (list.empty() ? "" : ", ") + ScriptString(key);
    return "[" + list + "]";
}

std::string PageSideScript(const char* channel)
{
    return "(() => {\n"
           "  'use strict';\n"
           "  const keys = " +
           KeysLiteral() +
           ";\n"
           "  const ownEnumerable = Object.prototype.propertyIsEnumerable;\n"
           "  const target = document;\n"
           "  function postMessage(body) {\n"
           "    if (typeof body !== 'object' || body === null || Array.isArray(body)) return;\n"
           "    const read = {};\n"
           "    for (const key of keys) {\n"
           "      if (!ownEnumerable.call(body, key)) continue;\n"
           "      const value = body[key];\n"
           "      read[key] = typeof value === 'string' ? value : null;\n"
           "    }\n"
           "    target.dispatchEvent(new CustomEvent(" +
           ScriptString(kEvent) +
           ", {detail: JSON.stringify(read)}));\n"
           "  }\n"
           "  const handlers = Object.freeze({" +
           ScriptString(channel) +
           ": Object.freeze({postMessage})});\n"
           "  Object.defineProperty(window, 'webkit', {value: Object.freeze({messageHandlers: handlers}),\n"
           "                                         enumerable: true});\n"
           "})();\n";
}

std::string ChannelSideScript(const char* channel)
{
    return "(() => {\n"
           "  'use strict';\n"
           "  const handler = window.webkit.messageHandlers[" +
           ScriptString(channel) +
           "];\n"
           "  document.addEventListener(" +
           ScriptString(kEvent) +
           ", (event) => {\n"
           "    if (typeof event.detail !== 'string') return;\n"
           "    handler.postMessage({from: location.href, message: JSON.parse(event.detail)});\n"
           "  });\n"
           "})();\n";
}

// In the named world, or with no name in the page's own world.
void AddTopFrameScript(WebKitUserContentManager* manager, const std::string& source, const char* world)
{
    constexpr auto frames = WEBKIT_USER_CONTENT_INJECT_TOP_FRAME;
    constexpr auto time = WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START;
    Owned<WebKitUserScript, webkit_user_script_unref> script(
        world ? webkit_user_script_new_for_world(source.c_str(), frames, time, world, nullptr, nullptr)
              : webkit_user_script_new(source.c_str(), frames, time, nullptr, nullptr));
    webkit_user_content_manager_add_script(manager, script.get());
}

std::string StringProperty(JSCValue* object, const char* key)
{
    g_autoptr(JSCValue) value = jsc_value_object_get_property(object, key);
    if (!jsc_value_is_string(value))
        return "";
    g_autofree char* text = jsc_value_to_string(value);
    return text;
}

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

void InstallChannel(WebKitUserContentManager* manager, const char* channel)
{
    webkit_user_content_manager_register_script_message_handler_in_world(manager, channel, kWorld);
    AddTopFrameScript(manager, ChannelSideScript(channel), kWorld);
    AddTopFrameScript(manager, PageSideScript(channel), nullptr);
}

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

ChannelMessage ReadChannelMessage(JSCValue* posted)
{
    if (!jsc_value_is_object(posted))
        return {};
    g_autoptr(JSCValue) message = jsc_value_object_get_property(posted, "message");
    return ChannelMessage{MessageFromValue(message), StringProperty(posted, "from")};
}

}  // namespace mivra
