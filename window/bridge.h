#pragma once
// Script messages of the "native" channel: the one entry that takes a message
// as the toolkit read it, with the address of the document that sent it, and
// runs the operation it names.

#include <map>
#include <memory>
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
class BridgeTarget {
public:
    virtual ~BridgeTarget() = default;
    virtual void choose() = 0;
    virtual void grant(const std::string& path) = 0;  // empty: the page named no volume
    virtual void chooseFolder(const std::string& path, const std::string& pour) = 0;
    virtual void ouvrir(const std::string& url) = 0;
    virtual void oublier(const std::string& path) = 0;
    virtual void direLesAutorises() = 0;
    virtual void openPrivacySettings() = 0;
};

// "action" and every key some action reads: all a message needs to carry.
const std::vector<std::string>& MessageKeys();

class Bridge {
public:
    // The target is held weakly: once it is gone, messages do nothing.
    Bridge(std::string interfaceUrl, std::weak_ptr<BridgeTarget> target);

    // Only the interface may drive the window: a message is honoured only when
    // the sending document is of the interface's origin. The operation its
    // action names then runs with its parameters and defaults.
    void receive(const BridgeMessage& message, const std::string& senderUri) const;

private:
    std::string interfaceUrl_;
    std::weak_ptr<BridgeTarget> target_;
};

}  // namespace mivra
