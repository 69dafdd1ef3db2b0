#pragma once
// A script message of the "native" channel, as WebKit hands it over, in the
// bridge's terms.

#include <jsc/jsc.h>

#include "bridge.h"

namespace mivra {

// Only plain objects count as objects: an array arrives as an object in
// JavaScript but carries no keys the bridge reads.
BridgeMessage MessageFromValue(JSCValue* body);

}  // namespace mivra
