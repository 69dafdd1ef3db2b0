#pragma once
// The "native" script message channel, reachable from the top frame's
// document only, and the messages it carries.

#include <string>

#include <jsc/jsc.h>
#include <webkit2/webkit2.h>

#include "bridge.h"

namespace mivra {

struct ChannelMessage {
    BridgeMessage message;
    std::string sender;  // the address of the document that posted it
};

// Registers the channel and the scripts that give the top frame's document
// `window.webkit.messageHandlers.<channel>.postMessage`. Connect the
// manager's "script-message-received::<channel>" before.
void InstallChannel(WebKitUserContentManager* manager, const char* channel);

// A posted body in the bridge's terms. Only plain objects count as objects:
// an array arrives as an object in JavaScript but carries no keys the bridge
// reads.
BridgeMessage MessageFromValue(JSCValue* body);

// A message of the channel, as the top frame's relay posts it.
ChannelMessage ReadChannelMessage(JSCValue* posted);

}  // namespace mivra
