#include "bridge.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "controller.h"

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

void Pick(Controller& controller, const BridgeMessage&)
{
    controller.choose();
}

void Grant(Controller& controller, const BridgeMessage& message)
{
    std::string path = ReadOr(message, "path", "");
    if (path.empty())
        path = controller.places().volumesFolder;
    controller.grant(path);
}

void Folder(Controller& controller, const BridgeMessage& message)
{
    controller.chooseFolder(ReadOr(message, "path", ""), ReadOr(message, "pour", ""));
}

void Ouvrir(Controller& controller, const BridgeMessage& message)
{
    controller.ouvrir(ReadOr(message, "url", ""));
}

void Oublier(Controller& controller, const BridgeMessage& message)
{
    controller.oublier(ReadOr(message, "path", ""));
}

void Autorises(Controller& controller, const BridgeMessage&)
{
    controller.direLesAutorises();
}

void Settings(Controller& controller, const BridgeMessage&)
{
    controller.openPrivacySettings();
}

struct Action {
    std::string_view name;
    std::vector<std::string> keys;  // the parameters the action reads
    void (*run)(Controller&, const BridgeMessage&);
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

void Dispatch(Controller& controller, const BridgeMessage& message)
{
    if (!message.isObject || message.nonStrings.contains("action"))
        return;
    const std::optional<std::string> name = Read(message, "action");
    if (!name)
        return;
    const auto action = std::find_if(kActions.begin(), kActions.end(),
                                     [&](const Action& candidate) { return candidate.name == *name; });
    if (action == kActions.end() || ReadsNonString(message, *action))
        return;
    action->run(controller, message);
}

}  // namespace mivra
