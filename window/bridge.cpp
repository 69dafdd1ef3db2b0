#include "bridge.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "web_address.h"

namespace mivra {

namespace {

std::optional<std::string> Read(const BridgeMessage& message, const std::string& key)
{
    const auto found = message.strings.find(key);
    if (found == message.strings.end())
        return std::nullopt;
    return found->second;
}

std::string ReadOr(const BridgeMessage& message, const std::string& key, const std::string& fallback)
{
    return Read(message, key).value_or(fallback);
}

// A message as the bridge runs it: the operations, the message and the defaults.
struct Request {
    const BridgeOperations& operations;
    const BridgeMessage& message;

    std::string read(const std::string& key) const { return ReadOr(message, key, ""); }
};

void Pick(const Request& request)
{
    request.operations.choose();
}

void Grant(const Request& request)
{
    request.operations.grant(request.read("path"));
}

void Folder(const Request& request)
{
    request.operations.chooseFolder(request.read("path"), request.read("pour"));
}

void Ouvrir(const Request& request)
{
    request.operations.ouvrir(request.read("url"));
}

void Oublier(const Request& request)
{
    request.operations.oublier(request.read("path"));
}

void Autorises(const Request& request)
{
    request.operations.direLesAutorises();
}

void Settings(const Request& request)
{
    request.operations.openPrivacySettings();
}

struct Action {
    std::string_view name;
    std::vector<std::string> keys;  // the parameters the action reads
    void (*run)(const Request&);
};

const std::array<Action, 7> kActions = {{
    {"pick", {}, Pick},
    {"grant", {"path"}, Grant},
    {"folder", {"path", "pour"}, Folder},
    {"ouvrir", {"url"}, Ouvrir},
    {"oublier", {"path"}, Oublier},
    {"autorises", {}, Autorises},
    {"settings", {}, Settings},
}};

// The page always sends strings. A message holding another kind of value
// (number, array, null...) under "action" or under a key its action reads is
// not one the page meant: it is ignored as a whole rather than guessed at.
bool ReadsNonString(const BridgeMessage& message, const Action& action)
{
    return std::any_of(action.keys.begin(), action.keys.end(),
                       [&](const std::string& key) { return message.nonStrings.contains(key); });
}

}  // namespace

const std::vector<std::string>& MessageKeys()
{
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> all{"action"};
        for (const Action& action : kActions)
            for (const std::string& key : action.keys)
                if (std::find(all.begin(), all.end(), key) == all.end())
                    all.push_back(key);
        return all;
    }();
    return keys;
}

Bridge::Bridge(std::string interfaceUrl, BridgeOperations operations)
    : interfaceUrl_(std::move(interfaceUrl)), operations_(std::move(operations))
{
}

void Bridge::receive(const BridgeMessage& message, const std::string& senderUri) const
{
    // A page navigated elsewhere may not drive the window.
    if (!SameOrigin(senderUri, interfaceUrl_))
        return;
    if (!message.isObject || message.nonStrings.contains("action"))
        return;
    const std::optional<std::string> name = Read(message, "action");
    if (!name)
        return;
    const auto action = std::find_if(kActions.begin(), kActions.end(),
                                     [&](const Action& candidate) { return candidate.name == *name; });
    if (action == kActions.end() || ReadsNonString(message, *action))
        return;
    action->run(Request{operations_, message});
}

}  // namespace mivra
