#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "bridge.h"
#include "controller_fixture.h"

namespace mivra {
namespace {

using Calls = std::vector<std::string>;

BridgeMessage Message(std::map<std::string, std::string> strings, std::set<std::string> nonStrings = {})
{
    return BridgeMessage{true, std::move(strings), std::move(nonStrings)};
}

class DispatchTest : public test::ControllerTest {
protected:
    // What the toolkit was asked for the message, panels shown as "panel <start folder>|<message>".
    std::string dispatch(const BridgeMessage& message)
    {
        toolkit_.calls.clear();
        toolkit_.panels.clear();
        Dispatch(*controller, message);
        std::string asked;
        for (const std::string& call : toolkit_.calls)
            asked += (asked.empty() ? "" : "; ") + call;
        if (!toolkit_.panels.empty())
            asked += " " + toolkit_.lastPanel().startFolder.value_or("-") + "|" + toolkit_.lastPanel().message;
        return asked;
    }
    std::shared_ptr<Controller> controller = make();
};

TEST_F(DispatchTest, EachActionWithItsDefaults)
{
    const std::string disk = folder("volumes/Disque"), work = folder("work");
    const std::string destination = "Choisissez le dossier de destination de l'AAF.";
    const std::string travail = "Choisissez le dossier ou Mivra decoupera les regions. "
                                "Il y ecrit temporairement bien plus que la taille de l'AAF livre.";
    const std::string grantMessage = "Selectionnez ce volume pour autoriser Mivra a le lire.";
    const std::vector<std::pair<BridgeMessage, std::string>> cases = {
        {Message({{"action", "pick"}, {"path", "/ignored"}}), "showOpenPanel " + places_.desktopFolder + "|"},
        {Message({{"action", "grant"}}), "showOpenPanel " + places_.volumesFolder + "|" + grantMessage},
        {Message({{"action", "grant"}, {"path", ""}}), "showOpenPanel " + places_.volumesFolder + "|" + grantMessage},
        {Message({{"action", "grant"}, {"path", disk}}), "showOpenPanel " + disk + "|" + grantMessage},
        {Message({{"action", "folder"}}), "showOpenPanel -|" + destination},
        {Message({{"action", "folder"}, {"path", work}, {"pour", "travail"}}), "showOpenPanel " + work + "|" + travail},
        {Message({{"action", "ouvrir"}, {"url", "https://example.org/aide?x=1"}}),
         "openInBrowser https://example.org/aide?x=1"},
        {Message({{"action", "autorises"}}), "evaluateScript window.__autorises && window.__autorises([])"},
        {Message({{"action", "settings"}}, {"path", "url"}), "openPrivacySettings"},  // unread keys do not matter
        // Nothing at all:
        {BridgeMessage{false, {{"action", "pick"}}, {}}, ""},
        {Message({}), ""},
        {Message({{"path", "/x"}}), ""},
        {Message({}, {"action"}), ""},
        {Message({{"action", "oublier"}}), ""},
        {Message({{"action", "oublier"}, {"path", ""}}), ""},
        // A key the action reads holding something other than a string voids the message.
        {Message({{"action", "grant"}}, {"path"}), ""},
        {Message({{"action", "folder"}, {"path", "/"}}, {"pour"}), ""},
        {Message({{"action", "ouvrir"}}, {"url"}), ""},
        {Message({{"action", "oublier"}}, {"path"}), ""},
    };
    for (const auto& [message, expected] : cases)
        EXPECT_EQ(dispatch(message), expected) << expected;
    for (const char* action : {"Pick", "pick ", "inconnue", "AUTORISES"})
        EXPECT_EQ(dispatch(Message({{"action", action}})), "") << action;
    // Only URLs written with the https scheme are opened.
    for (const char* refused : {"", "http://example.org/", "HTTPS://example.org/", "Https://example.org/",
                                "example.org", "//example.org/", "https//example.org", "javascript:alert(1)"})
        EXPECT_EQ(dispatch(Message({{"action", "ouvrir"}, {"url", refused}})), "") << refused;
    EXPECT_EQ(dispatch(Message({{"action", "ouvrir"}})), "");
}

TEST_F(DispatchTest, MessagesAreHonouredOnlyFromPagesOfTheInterfaceOrigin)
{
    const auto honoured = [&](const std::string& interfaceUrl, const std::string& pageUri) {
        toolkit_.calls.clear();
        make(LaunchSettings{interfaceUrl, "", ""})->receiveMessage(Message({{"action", "settings"}}), pageUri);
        return toolkit_.count("openPrivacySettings") == 1;
    };
    const std::string interface = "http://127.0.0.1:8790/";
    for (const char* same : {"http://127.0.0.1:8790/", "http://127.0.0.1:8790/projets/3?x=1#y", "HTTP://127.0.0.1:8790"})
        EXPECT_TRUE(honoured(interface, same)) << same;
    for (const char* other : {"http://127.0.0.1:8791/", "http://127.0.0.1/", "https://127.0.0.1:8790/",
                              "http://localhost:8790/", "https://example.org/", "about:blank", "file:///tmp/a.html", ""})
        EXPECT_FALSE(honoured(interface, other)) << other;
    // Default ports and the host's case make no difference.
    EXPECT_TRUE(honoured("https://Mivra.Example/app/", "https://mivra.example:443/other"));
    EXPECT_TRUE(honoured("http://mivra.example:80/", "http://MIVRA.example/x"));
    EXPECT_FALSE(honoured("http://mivra.example/", "http://mivra.example:8080/"));
    EXPECT_FALSE(honoured("http://%zz/", "http://%zz/"));
}

}  // namespace
}  // namespace mivra
