#pragma once
// Script messages of the "native" channel, as the toolkit hands them over.

#include <map>
#include <set>
#include <string>
#include <vector>

namespace mivra {

struct BridgeMessage {
    bool isObject = false;                       // false: the body was not an object
    std::map<std::string, std::string> strings;  // keys whose value is a string
    std::set<std::string> nonStrings;            // keys present with another value
};

class Controller;

// "action" and every key some action reads: all a message needs to carry.
const std::vector<std::string>& MessageKeys();

// Runs the operation the message's action names, with its parameters and defaults.
void Dispatch(Controller& controller, const BridgeMessage& message);

}  // namespace mivra
