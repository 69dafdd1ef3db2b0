#include <gtest/gtest.h>

#include <vector>

#include "settings.h"

namespace mivra {
namespace {

LaunchSettings Read(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "mivra-window");
    return ReadLaunchSettings(static_cast<int>(arguments.size()), arguments.data());
}

constexpr const char* kDefaultUrl = "http://127.0.0.1:8790/";

TEST(LaunchSettings, NoArgumentKeepsTheDefaults)
{
    const LaunchSettings settings = Read({});
    EXPECT_EQ(settings.url, kDefaultUrl);
    EXPECT_EQ(settings.projetAuLancement, "");
    EXPECT_EQ(settings.icon, "");
}

TEST(LaunchSettings, OnlyALowerCaseHttpOrHttpsPrefixMakesAUrl)
{
    EXPECT_EQ(Read({"http://localhost:9000/x"}).url, "http://localhost:9000/x");
    EXPECT_EQ(Read({"https://example.org/"}).url, "https://example.org/");
    EXPECT_EQ(Read({"https://example.org/"}).projetAuLancement, "");

    for (const char* project : {"HTTP://localhost/", "Https://example.org/", "http:/one-slash", "ftp://host/",
                                "/home/u/Montage.fcpxmld", "-v", "--help"}) {
        const LaunchSettings settings = Read({project});
        EXPECT_EQ(settings.url, kDefaultUrl) << project;
        EXPECT_EQ(settings.projetAuLancement, project) << project;
    }
}

TEST(LaunchSettings, SecondArgumentIsTheIconWhateverTheFirst)
{
    EXPECT_EQ(Read({"https://example.org/", "/icons/m.png"}).icon, "/icons/m.png");
    EXPECT_EQ(Read({"/p/Montage.fcpxmld", "/icons/m.png"}).icon, "/icons/m.png");

    const LaunchSettings iconAlone = Read({"", "/icons/m.png", "third", "fourth"});
    EXPECT_EQ(iconAlone.url, kDefaultUrl);
    EXPECT_EQ(iconAlone.projetAuLancement, "");
    EXPECT_EQ(iconAlone.icon, "/icons/m.png");
}

TEST(LaunchSettings, InvalidUtf8CountsAsNotGiven)
{
    const LaunchSettings settings = Read({"/p/caf\xe9.fcpxml", "/i/\xff.png"});
    EXPECT_EQ(settings.url, kDefaultUrl);
    EXPECT_EQ(settings.projetAuLancement, "");
    EXPECT_EQ(settings.icon, "");

    EXPECT_EQ(Read({"/p/caf\xc3\xa9.fcpxml"}).projetAuLancement, "/p/caf\xc3\xa9.fcpxml");
}

}  // namespace
}  // namespace mivra
