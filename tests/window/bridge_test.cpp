#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "bridge.h"
#include "controller_fixture.h"

namespace mivra {
namespace {

BridgeMessage Message(std::map<std::string, std::string> strings, std::set<std::string> nonStrings = {})
{
    return BridgeMessage{true, std::move(strings), std::move(nonStrings)};
}

class DispatchTest : public test::ControllerTest {
protected:
    void dispatch(const BridgeMessage& message) { Dispatch(*controller, message); }

    const OpenPanelDescription& lastPanel() const { return toolkit_.panels.back().description; }

    std::shared_ptr<Controller> controller = make();
};

TEST_F(DispatchTest, MessagesWithoutAKnownActionStartNothing)
{
    dispatch(BridgeMessage{false, {{"action", "pick"}}, {}});
    dispatch(Message({}));
    dispatch(Message({{"path", "/x"}}));
    dispatch(Message({{"action", "Pick"}}));
    dispatch(Message({{"action", "pick "}}));
    dispatch(Message({{"action", "inconnue"}}));
    dispatch(Message({}, {"action"}));
    EXPECT_TRUE(toolkit_.calls.empty());
}

TEST_F(DispatchTest, PickShowsTheProjectPanel)
{
    dispatch(Message({{"action", "pick"}, {"path", "/ignored"}}));
    ASSERT_EQ(toolkit_.panels.size(), 1u);
    EXPECT_EQ(lastPanel().title, "Choisir un projet Final Cut");
}

TEST_F(DispatchTest, GrantWithoutAPathOrWithAnEmptyOneOpensOnTheVolumesFolder)
{
    dispatch(Message({{"action", "grant"}}));
    EXPECT_EQ(lastPanel().startFolder, places_.volumesFolder);
    dispatch(Message({{"action", "grant"}, {"path", ""}}));
    EXPECT_EQ(lastPanel().startFolder, places_.volumesFolder);

    const std::string disk = folder("volumes/Disque");
    dispatch(Message({{"action", "grant"}, {"path", disk}}));
    EXPECT_EQ(lastPanel().startFolder, disk);
    EXPECT_EQ(lastPanel().prompt, "Autoriser");
}

TEST_F(DispatchTest, FolderPassesTwoStringsEvenWhenAbsent)
{
    dispatch(Message({{"action", "folder"}}));
    ASSERT_EQ(toolkit_.panels.size(), 1u);
    EXPECT_EQ(lastPanel().startFolder, std::nullopt);
    EXPECT_EQ(lastPanel().message, "Choisissez le dossier de destination de l'AAF.");

    const std::string work = folder("work");
    dispatch(Message({{"action", "folder"}, {"path", work}, {"pour", "travail"}}));
    EXPECT_EQ(lastPanel().startFolder, work);
    EXPECT_EQ(lastPanel().message,
              "Choisissez le dossier ou Mivra decoupera les regions. "
              "Il y ecrit temporairement bien plus que la taille de l'AAF livre.");
}

TEST_F(DispatchTest, OuvrirOpensOnlyUrlsWrittenWithTheHttpsScheme)
{
    dispatch(Message({{"action", "ouvrir"}, {"url", "https://example.org/aide?x=1"}}));
    dispatch(Message({{"action", "ouvrir"}}));
    for (const char* refused : {"", "http://example.org/", "HTTPS://example.org/", "Https://example.org/",
                                "example.org", "//example.org/", "https//example.org", "javascript:alert(1)"})
        dispatch(Message({{"action", "ouvrir"}, {"url", refused}}));
    EXPECT_EQ(toolkit_.calls, (std::vector<std::string>{"openInBrowser https://example.org/aide?x=1"}));
}

TEST_F(DispatchTest, OublierWithoutAPathDoesNothingAtAll)
{
    dispatch(Message({{"action", "oublier"}}));
    dispatch(Message({{"action", "oublier"}, {"path", ""}}));
    EXPECT_TRUE(toolkit_.calls.empty());
}

TEST_F(DispatchTest, AutorisesAndSettings)
{
    dispatch(Message({{"action", "autorises"}}));
    dispatch(Message({{"action", "settings"}}));
    EXPECT_EQ(toolkit_.calls, (std::vector<std::string>{
                                  "evaluateScript window.__autorises && window.__autorises([])",
                                  "openPrivacySettings",
                              }));
}

TEST_F(DispatchTest, ANonStringValueInAKeyTheActionReadsVoidsTheMessage)
{
    dispatch(Message({{"action", "grant"}}, {"path"}));
    dispatch(Message({{"action", "folder"}, {"path", "/"}}, {"pour"}));
    dispatch(Message({{"action", "ouvrir"}}, {"url"}));
    dispatch(Message({{"action", "oublier"}}, {"path"}));
    EXPECT_TRUE(toolkit_.calls.empty());

    // A key the action does not read does not matter.
    dispatch(Message({{"action", "settings"}}, {"path", "url"}));
    EXPECT_EQ(toolkit_.calls, (std::vector<std::string>{"openPrivacySettings"}));
}

class OriginTest : public test::ControllerTest {
protected:
    bool honoured(const std::string& interfaceUrl, const std::string& pageUri)
    {
        toolkit_.calls.clear();
        auto controller = make(LaunchSettings{interfaceUrl, "", ""});
        controller->receiveMessage(Message({{"action", "settings"}}), pageUri);
        return toolkit_.count("openPrivacySettings") == 1;
    }
};

TEST_F(OriginTest, MessagesAreHonouredOnlyFromThePagesOfTheInterfaceOrigin)
{
    const std::string interface = "http://127.0.0.1:8790/";
    EXPECT_TRUE(honoured(interface, "http://127.0.0.1:8790/"));
    EXPECT_TRUE(honoured(interface, "http://127.0.0.1:8790/projets/3?x=1#y"));
    EXPECT_TRUE(honoured(interface, "HTTP://127.0.0.1:8790"));

    EXPECT_FALSE(honoured(interface, "http://127.0.0.1:8791/"));
    EXPECT_FALSE(honoured(interface, "http://127.0.0.1/"));
    EXPECT_FALSE(honoured(interface, "https://127.0.0.1:8790/"));
    EXPECT_FALSE(honoured(interface, "http://localhost:8790/"));
    EXPECT_FALSE(honoured(interface, "https://example.org/"));
    EXPECT_FALSE(honoured(interface, "about:blank"));
    EXPECT_FALSE(honoured(interface, "file:///tmp/a.html"));
    EXPECT_FALSE(honoured(interface, ""));
}

TEST_F(OriginTest, DefaultPortsAndHostCaseAreTheSameOrigin)
{
    EXPECT_TRUE(honoured("https://Mivra.Example/app/", "https://mivra.example:443/other"));
    EXPECT_TRUE(honoured("http://mivra.example:80/", "http://MIVRA.example/x"));
    EXPECT_FALSE(honoured("http://mivra.example/", "http://mivra.example:8080/"));
    EXPECT_FALSE(honoured("http://%zz/", "http://%zz/"));
}

}  // namespace
}  // namespace mivra
