#pragma once
// Script messages of the "native" channel: the one entry that takes a message
// as the toolkit read it, with the address of the document that sent it, and
// runs the operation it names.

#include <functional>
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

// The operations a message may ask for.
struct BridgeOperations {
    std::function<void()> choose;
    std::function<void(const std::string& path)> grant;  // empty: the page named no volume
    std::function<void(const std::string& path, const std::string& pour)> chooseFolder;
    std::function<void(const std::string& url)> ouvrir;
    std::function<void(const std::string& path)> oublier;
    std::function<void()> direLesAutorises;
    std::function<void()> openPrivacySettings;
};

// "action" and every key some action reads: all a message needs to carry.
const std::vector<std::string>& MessageKeys();

class Bridge {
public:
    Bridge(std::string interfaceUrl, BridgeOperations operations);

    // Only the interface may drive the window: a message is honoured only when
    // the sending document is of the interface's origin. The operation its
    // action names then runs with its parameters and defaults.
    void receive(const BridgeMessage& message, const std::string& senderUri) const;

private:
    std::string interfaceUrl_;
    BridgeOperations operations_;
};

}  // namespace mivra
